// vendor-site SOURCE OUTPUT
// Builds the sample site: copies the source site, makes the data archives (Info-ZIP's zip; the
// numbered parts are a split archive renamed to the vendor's part names) and fills the sizes
// and check values of the archives into the model info file templates (*.in).
#include <sys/stat.h>
#include <sys/time.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Payload {
  const char* name;
  long long size;  // pseudo-random bytes of this size, unless text is set
  uint32_t seed;
  const char* text;
};

struct ArchivePlan {
  const char* folder;   // below the output site
  const char* zipName;  // as AG_ZIPNAME names it
  bool numbered;        // a set of numbered parts instead of one archive
  std::vector<Payload> files;
};

// The models' installers of the sample site: they tell what they would install and leave a line
// in installer-ran.txt beside themselves, so that a run can see that it started them.
const char kSetupScript[] =
    "#!/bin/sh\n"
    "# PAVO X1 installer of the sample site.\n"
    "echo \"PAVO X1 installer: program and map are ready in $(pwd)\"\n"
    "echo \"PavoSetup.exe $*\" >> \"$(dirname \"$0\")/installer-ran.txt\"\n";
const char kS7SetupScript[] =
    "#!/bin/sh\n"
    "# PAVO S7 installer of the sample site.\n"
    "echo \"PAVO S7 installer: program and map are ready in $(pwd)\"\n"
    "echo \"PavoS7Setup.exe $*\" >> \"$(dirname \"$0\")/installer-ran.txt\"\n";

const std::vector<ArchivePlan> kArchives = {
    {"trelm.quorvex.example/pavoData/x1/program", "PAVOX1_PRG.ZIP", false,
     {{"PavoX1.bin", 150000, 1, nullptr}, {"PavoSetup.exe", 0, 0, kSetupScript}}},
    {"trelm.quorvex.example/pavoData/x1/map", "PAVOX1_MAP.ZIP", false, {{"KoreaMap.dat", 90000, 2, nullptr}}},
    // Three numbered parts of at most 64 KB.
    {"trelm.quorvex.example/pavoData/s7/map", "S7MAP.ZIP", true, {{"PavoS7Map.dat", 150000, 3, nullptr}}},
    {"trelm.quorvex.example/pavoData/s7/program", "PAVOS7_PRG.ZIP", false,
     {{"PavoS7.bin", 60000, 4, nullptr}, {"PavoS7Setup.exe", 0, 0, kS7SetupScript}}},
    {"trelm.quorvex.example/pavoData/camera", "SafeCam.ZIP", false, {{"SafeCam.dat", 20000, 5, nullptr}}},
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Contents(const Payload& p) {
  if (p.text) return p.text;
  std::string data(size_t(p.size), '\0');
  uint32_t x = 2463534242u ^ (p.seed * 2654435761u);
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x >> 24);
  }
  return data;
}

void Fail(const std::string& message) {
  std::cerr << "vendor-site: " << message << std::endl;
  std::exit(1);
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), std::streamsize(data.size()));
  if (!out) Fail("cannot write " + path.string());
}

// Zips the payloads in `work` into its site folder; records the tokens of the templates.
void BuildArchive(const ArchivePlan& plan, const fs::path& site, const fs::path& work,
                  std::map<std::string, std::string>& tokens) {
  fs::remove_all(work);
  fs::create_directories(work);
  std::string names;
  for (const Payload& p : plan.files) {
    std::string data = Contents(p);
    fs::path file = work / p.name;
    WriteFile(file, data);
    // A fixed time, so that the archives come out the same on every build.
    timeval times[2] = {{1795996800, 0}, {1795996800, 0}};
    utimes(file.c_str(), times);
    uint32_t crc = uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    tokens[std::string("FILESIZE:") + p.name] = std::to_string(data.size());
    tokens[std::string("FILECRC:") + p.name] = std::to_string(int32_t(crc));
    names += " " + Quote(p.name);
  }
  std::string command = "cd " + Quote(work.string()) + " && zip -q -X -D " + (plan.numbered ? "-s 64k " : "") +
                        "archive.zip" + names;
  if (std::system(command.c_str()) != 0) Fail("zip failed: " + command);

  fs::path dest = site / plan.folder;
  fs::create_directories(dest);
  long long total = 0;
  int parts = 0;
  if (!plan.numbered) {
    fs::path archive = work / "archive.zip";
    total = (long long)fs::file_size(archive);
    fs::rename(archive, dest / plan.zipName);
    parts = 1;
  } else {
    // archive.z01, archive.z02, ... archive.zip -> NAME001.ZIP, NAME002.ZIP, ... (the last
    // part holds the central directory).
    std::string base = plan.zipName;
    for (size_t at; (at = base.find(".ZIP")) != std::string::npos;) base.erase(at, 4);
    std::vector<fs::path> pieces;
    for (int k = 1;; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "archive.z%02d", k);
      if (!fs::exists(work / name)) break;
      pieces.push_back(work / name);
    }
    pieces.push_back(work / "archive.zip");
    if (pieces.size() < 2) Fail(std::string(plan.zipName) + " did not split");
    for (const fs::path& piece : pieces) {
      ++parts;
      char name[64];
      std::snprintf(name, sizeof name, "%s%03d.ZIP", base.c_str(), parts);
      total += (long long)fs::file_size(piece);
      fs::rename(piece, dest / name);
    }
  }
  tokens[std::string("ZIPSIZE:") + plan.zipName] = std::to_string(total);
  tokens[std::string("NUMSPAN:") + plan.zipName] = std::to_string(parts);
}

std::string Fill(const std::string& text, const std::map<std::string, std::string>& tokens, const fs::path& from) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t a = text.find('@', pos);
    if (a == std::string::npos) break;
    size_t b = text.find('@', a + 1);
    if (b == std::string::npos) break;
    auto it = tokens.find(text.substr(a + 1, b - a - 1));
    if (it == tokens.end()) Fail("unknown token " + text.substr(a, b - a + 1) + " in " + from.string());
    out += text.substr(pos, a - pos) + it->second;
    pos = b + 1;
  }
  return out + text.substr(pos);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vendor-site SOURCE OUTPUT" << std::endl;
    return 2;
  }
  fs::path source = argv[1], site = argv[2];
  if (!fs::is_directory(source)) Fail("no source folder " + source.string());
  fs::remove_all(site);
  fs::create_directories(site);

  std::vector<fs::path> templates;
  for (const auto& e : fs::recursive_directory_iterator(source)) {
    fs::path rel = fs::relative(e.path(), source);
    if (e.is_directory()) {
      fs::create_directories(site / rel);
    } else if (e.path().extension() == ".in") {
      templates.push_back(rel);
    } else {
      fs::copy_file(e.path(), site / rel, fs::copy_options::overwrite_existing);
    }
  }

  std::map<std::string, std::string> tokens;
  fs::path work = site.parent_path() / (site.filename().string() + ".work");
  for (const ArchivePlan& plan : kArchives) BuildArchive(plan, site, work, tokens);
  fs::remove_all(work);

  for (const fs::path& rel : templates) {
    std::ifstream in(source / rel, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    fs::path out = site / rel;
    out.replace_extension();  // drops ".in"
    WriteFile(out, Fill(text.str(), tokens, rel));
  }
  return 0;
}
