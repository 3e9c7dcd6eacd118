// rescomp: compiles a resource script into a C++ source that places the resource table in the
// program's "winres" section.
//
//   rescomp [--base DIR] [--depfile FILE] [--dll] SCRIPT OUTPUT.cpp
//
// Writes OUTPUT.cpp and, beside it, OUTPUT.bin (the table, pulled in by .incbin so that large
// resources cost no compile time). --base is the folder relative file names start from (default:
// the script's folder); --dll marks the version record as that of a library.
#include <iconv.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ResourceFormat.h"
#include "Script.h"
#include "Table.h"

namespace fs = std::filesystem;
using namespace rescomp;

namespace {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<unsigned char> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot read " + path.string());
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence, or npos.
size_t Utf8Error(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!len || (len > 1 && c < 0xC2) || i + len > s.size()) return i;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return i;
    i += len;
  }
  return std::string::npos;
}

// UTF-8 -> code page 949; fails on bytes that are not UTF-8 or characters the code page lacks.
std::string ToCp949(const std::string& utf8, const std::string& what) {
  size_t bad = Utf8Error(utf8);
  if (bad != std::string::npos) throw Failure(what + ": malformed UTF-8 at byte " + std::to_string(bad));
  iconv_t cd = iconv_open("CP949", "UTF-8");
  if (cd == iconv_t(-1)) throw Failure("no UTF-8 to CP949 converter on this system");
  std::string out(utf8.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (rc == size_t(-1))
    throw Failure(what + ": text not representable in code page 949 at byte " + std::to_string(utf8.size() - inLeft));
  out.resize(out.size() - outLeft);
  return out;
}

std::vector<unsigned char> LoadData(const ResourceLine& res, const fs::path& file) {
  std::vector<unsigned char> data = ReadFile(file);
  if (res.text) {
    std::string s(data.begin(), data.end());
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    s = ToCp949(s, file.string());
    data.assign(s.begin(), s.end());
  }
  if (res.typeId == 2) {  // BITMAP: stored without the 14-byte file header, as a DIB
    if (data.size() < 14 + 12 || data[0] != 'B' || data[1] != 'M') throw Failure(file.string() + ": not a .bmp file");
    data.erase(data.begin(), data.begin() + 14);
  }
  return data;
}

Resource VersionResource(const std::vector<VersionLine>& lines, bool dll) {
  VersionInfo info;
  info.dll = dll;
  bool haveFile = false, haveProduct = false;
  for (const VersionLine& v : lines) {
    std::string key = v.key;
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (key == "filetype") {
      if (v.value == "DLL" || v.value == "dll") info.dll = true;
      else if (v.value == "APP" || v.value == "app") info.dll = false;
      else throw ScriptError(v.line, "FileType is APP or DLL");
      continue;
    }
    if (key == "fileversion") {
      if (!ParseDottedVersion(v.value, info.fileVersion))
        throw ScriptError(v.line, "FileVersion must be one to four numbers up to 65535: " + v.value);
      haveFile = true;
    }
    if (key == "productversion") haveProduct = ParseDottedVersion(v.value, info.productVersion);
    info.strings.push_back({v.key, ToCp949(v.value, "version value " + v.key)});
  }
  if (!haveFile) throw ScriptError(lines.front().line, "the version record needs FileVersion");
  if (!haveProduct) std::copy(std::begin(info.fileVersion), std::end(info.fileVersion), info.productVersion);
  Resource r;
  r.typeId = uint16_t(winres::kVersionType);
  r.nameId = uint16_t(winres::kVersionName);
  r.data = BuildVersionData(info);
  return r;
}

// A path inside a C++ string literal that gas reads as a string: non-ASCII as octal escapes.
std::string AsmString(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += "\\\\\\";
      out += char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\\\%03o", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string DepPath(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '#' || c == '\\') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

void WriteAtomically(const fs::path& path, const void* data, size_t size) {
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    out.close();
    if (!out) throw Failure("cannot write " + tmp.string());
  }
  fs::rename(tmp, path);
}

int Usage() {
  std::cerr << "usage: rescomp [--base DIR] [--depfile FILE] [--dll] SCRIPT OUTPUT.cpp\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path base, depfile, scriptPath, output;
  bool dll = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--base" && i + 1 < argc) base = argv[++i];
    else if (a == "--depfile" && i + 1 < argc) depfile = argv[++i];
    else if (a == "--dll") dll = true;
    else if (!a.empty() && a[0] == '-') return Usage();
    else if (scriptPath.empty()) scriptPath = a;
    else if (output.empty()) output = a;
    else return Usage();
  }
  if (scriptPath.empty() || output.empty()) return Usage();
  if (base.empty()) base = scriptPath.parent_path();

  std::string where = scriptPath.string();
  try {
    std::vector<unsigned char> scriptBytes = ReadFile(scriptPath);
    Script script = ParseScript(std::string(scriptBytes.begin(), scriptBytes.end()));

    std::vector<Resource> resources;
    std::vector<std::string> inputs;
    for (const ResourceLine& line : script.resources) {
      fs::path file = line.file;
      if (file.is_relative()) file = base / file;
      inputs.push_back(file.string());
      Resource r;
      r.typeId = line.typeId;
      r.typeName = line.typeName;
      r.nameId = line.nameId;
      r.name = line.name;
      try {
        r.data = LoadData(line, file);
      } catch (const Failure& f) {
        throw ScriptError(line.line, f.what());
      }
      resources.push_back(std::move(r));
    }
    if (!script.version.empty()) resources.push_back(VersionResource(script.version, dll));

    std::vector<unsigned char> block = BuildBlock(resources);
    fs::path bin = output;
    bin.replace_extension(".bin");
    bin = fs::absolute(bin);
    WriteAtomically(bin, block.data(), block.size());

    std::ostringstream cpp;
    cpp << "// Generated by rescomp from " << scriptPath.filename().string() << "; do not edit.\n"
        << "asm(\".pushsection " << winres::kSectionName << ",\\\"aR\\\",@progbits\\n\"\n"
        << "    \".balign " << winres::kAlign << "\\n\"\n"
        << "    \".incbin \\\"" << AsmString(bin.string()) << "\\\"\\n\"\n"
        << "    \".balign " << winres::kAlign << "\\n\"\n"
        << "    \".popsection\\n\");\n";
    std::string text = cpp.str();
    WriteAtomically(output, text.data(), text.size());

    if (!depfile.empty()) {
      // The script itself too: ninja takes a depfile without dependencies for a missing one.
      std::string deps = DepPath(output.string()) + ": \\\n  " + DepPath(scriptPath.string());
      for (const std::string& in : inputs) deps += " \\\n  " + DepPath(in);
      deps += "\n";
      WriteAtomically(depfile, deps.data(), deps.size());
    }
  } catch (const ScriptError& e) {
    std::cerr << where << ":" << e.line << ": error: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << where << ": error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
