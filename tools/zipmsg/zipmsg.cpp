// zipmsg: turns a message source into the zip component's packed message table.
//
//   zipmsg SOURCE OUT_BASE SYMBOL LANGID NAME [RAW]
//
// SOURCE holds one message per line, `ID "text"`, with the escapes \n \t \" \\ inside the
// quotes; blank lines and lines starting with '#' are skipped. The texts are stored as UTF-16
// in a resource-file string-table image (blocks of 16 strings), which is packed with the LZSS
// coder the component expands. OUT_BASE.cpp receives the packed table as constant data named
// SYMBOL, OUT_BASE.h its declaration and sizes; RAW, when given, the packed table itself (for a
// language resource).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  std::fprintf(stderr, "zipmsg: %s: %s\n", where.c_str(), what.c_str());
  std::exit(1);
}

// UTF-8 -> UTF-16 units; rejects malformed input rather than guessing.
std::u16string Utf8ToUtf16(const std::string& s, const std::string& where) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    int extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else Fail(where, "invalid UTF-8");
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= s.size()) Fail(where, "truncated UTF-8");
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) Fail(where, "invalid UTF-8");
      cp = (cp << 6) | (d & 0x3F);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::map<int, std::u16string> ReadSource(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path, "cannot open");
  std::map<int, std::u16string> texts;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    std::string where = path + ":" + std::to_string(lineNo);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] == '#') continue;
    size_t q = p;
    while (q < line.size() && line[q] >= '0' && line[q] <= '9') ++q;
    if (q == p) Fail(where, "expected a message id");
    int id = std::atoi(line.substr(p, q - p).c_str());
    if (id < 0 || id > 0xFFEF) Fail(where, "message id out of range");
    size_t open = line.find('"', q);
    if (open == std::string::npos || line.find_first_not_of(" \t", q) != open) Fail(where, "expected a quoted text");
    std::string text;
    size_t i = open + 1;
    bool closed = false;
    for (; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') { closed = true; ++i; break; }
      if (c == '\\') {
        if (++i >= line.size()) Fail(where, "escape at end of line");
        switch (line[i]) {
          case 'n': text += '\n'; break;
          case 't': text += '\t'; break;
          case '"': text += '"'; break;
          case '\\': text += '\\'; break;
          default: Fail(where, "unknown escape");
        }
      } else {
        text += c;
      }
    }
    if (!closed) Fail(where, "unterminated text");
    if (line.find_first_not_of(" \t", i) != std::string::npos) Fail(where, "text after the closing quote");
    if (text.empty()) Fail(where, "empty text (a count of 0 means no string)");
    std::u16string units = Utf8ToUtf16(text, where);
    if (units.size() > 0xFFFF) Fail(where, "text too long");
    if (!texts.emplace(id, units).second) Fail(where, "message id " + std::to_string(id) + " given twice");
  }
  if (texts.empty()) Fail(path, "no messages");
  return texts;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// One resource-file record with ordinal type and name.
void PutRecord(std::vector<uint8_t>& img, uint16_t type, uint16_t name, uint16_t memFlags, uint16_t lang,
               const std::vector<uint8_t>& data) {
  Put32(img, uint32_t(data.size()));
  Put32(img, 32);  // header size
  Put16(img, 0xFFFF);
  Put16(img, type);
  Put16(img, 0xFFFF);
  Put16(img, name);
  Put32(img, 0);  // data version
  Put16(img, memFlags);
  Put16(img, lang);
  Put32(img, 0);  // version
  Put32(img, 0);  // characteristics
  img.insert(img.end(), data.begin(), data.end());
  while (img.size() % 4) img.push_back(0);
}

std::vector<uint8_t> BuildImage(const std::map<int, std::u16string>& texts, uint16_t lang) {
  std::vector<uint8_t> img;
  PutRecord(img, 0, 0, 0, 0, {});  // the customary empty record
  std::map<int, std::vector<const std::u16string*>> blocks;
  for (const auto& [id, text] : texts) {
    auto& block = blocks[id / 16];
    if (block.empty()) block.assign(16, nullptr);
    block[id % 16] = &text;
  }
  for (const auto& [blockNo, slots] : blocks) {
    std::vector<uint8_t> data;
    for (const std::u16string* s : slots) {
      Put16(data, s ? uint16_t(s->size()) : 0);
      if (s)
        for (char16_t u : *s) Put16(data, u);
    }
    PutRecord(img, 6, uint16_t(blockNo + 1), 0x1030, lang, data);
  }
  return img;
}

// LZSS: a 4096-byte ring whose write position starts at 4080; groups of one flag byte and up to
// eight items, flag bit 1 = literal, 0 = (position, length 3..18) in two bytes. Matches refer
// only to bytes already produced, so the ring's initial content never matters.
std::vector<uint8_t> Pack(const std::vector<uint8_t>& in) {
  constexpr int kRing = 4096, kMin = 3, kMax = 18;
  std::vector<uint8_t> out;
  size_t flagAt = 0;
  int items = 8;
  size_t pos = 0;
  while (pos < in.size()) {
    if (items == 8) {
      flagAt = out.size();
      out.push_back(0);
      items = 0;
    }
    int bestLen = 0;
    size_t bestDist = 0;
    size_t maxDist = pos < size_t(kRing - 1) ? pos : size_t(kRing - 1);
    size_t limit = in.size() - pos < size_t(kMax) ? in.size() - pos : size_t(kMax);
    for (size_t dist = 1; dist <= maxDist && size_t(bestLen) < limit; ++dist) {
      size_t len = 0;
      while (len < limit && in[pos - dist + len] == in[pos + len]) ++len;
      if (int(len) > bestLen) {
        bestLen = int(len);
        bestDist = dist;
      }
    }
    if (bestLen >= kMin) {
      uint32_t src = uint32_t((kRing - 16 + pos - bestDist) % kRing);
      out.push_back(uint8_t(src & 0xFF));
      out.push_back(uint8_t(((src >> 4) & 0xF0) | uint32_t(bestLen - kMin)));
      pos += size_t(bestLen);
    } else {
      out[flagAt] |= uint8_t(1u << items);
      out.push_back(in[pos]);
      ++pos;
    }
    ++items;
  }
  return out;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) Fail(path, "cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: zipmsg SOURCE OUT_BASE SYMBOL LANGID NAME [RAW]\n");
    return 2;
  }
  const std::string source = argv[1], base = argv[2], symbol = argv[3], name = argv[5];
  const long lang = std::strtol(argv[4], nullptr, 10);
  if (lang <= 0 || lang > 0xFFFF) Fail(argv[4], "language id must be 1..65535");
  if (name.empty() || name.size() > 255) Fail(name, "bad table name");

  auto texts = ReadSource(source);
  std::vector<uint8_t> image = BuildImage(texts, uint16_t(lang));
  if (image.size() >= 50000) Fail(source, "image of 50000 bytes or more would be refused");
  std::vector<uint8_t> body = Pack(image);
  const size_t packedSize = body.size() + 4;
  if (packedSize > 0xFFFF) Fail(source, "packed table too large");

  std::vector<uint8_t> table;
  Put16(table, uint16_t(lang));
  Put16(table, uint16_t(packedSize));
  Put16(table, uint16_t(name.size()));
  table.insert(table.end(), name.begin(), name.end());
  Put32(table, uint32_t(image.size()));
  table.insert(table.end(), body.begin(), body.end());

  std::ostringstream cpp;
  cpp << "// Generated by zipmsg from " << source << "; do not edit.\n";
  cpp << "#include \"" << base.substr(base.find_last_of('/') + 1) << ".h\"\n\n";
  cpp << "const unsigned char " << symbol << "[] = {";
  for (size_t i = 0; i < table.size(); ++i) {
    if (i % 16 == 0) cpp << "\n ";
    cpp << " 0x" << "0123456789abcdef"[table[i] >> 4] << "0123456789abcdef"[table[i] & 15] << ',';
  }
  cpp << "\n};\n";
  cpp << "const int " << symbol << "Size = int(sizeof(" << symbol << "));\n";

  std::ostringstream h;
  h << "// Generated by zipmsg from " << source << "; do not edit.\n";
  h << "#pragma once\n\n";
  h << "// Packed message table \"" << name << "\": the 6-byte header, the name, then the packed stream\n";
  h << "// (its 4-byte unpacked size and the LZSS body).\n";
  h << "extern const unsigned char " << symbol << "[];\n";
  h << "extern const int " << symbol << "Size;\n";
  h << "constexpr int " << symbol << "Language = " << lang << ";\n";
  h << "constexpr int " << symbol << "PackedSize = " << packedSize << ";\n";
  h << "constexpr int " << symbol << "UnpackedSize = " << image.size() << ";\n";
  h << "constexpr int " << symbol << "TextCount = " << texts.size() << ";\n";
  h << "constexpr int " << symbol << "FirstId = " << texts.begin()->first << ";\n";
  h << "constexpr int " << symbol << "LastId = " << texts.rbegin()->first << ";\n";

  WriteFile(base + ".cpp", cpp.str());
  WriteFile(base + ".h", h.str());
  if (argc == 7) WriteFile(argv[6], std::string(table.begin(), table.end()));
  return 0;
}
