#include "Table.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "ResourceFormat.h"

namespace rescomp {
namespace {

void PadTo(std::vector<unsigned char>& out, size_t align) {
  while (out.size() % align) out.push_back(0);
}

}  // namespace

std::vector<unsigned char> BuildBlock(const std::vector<Resource>& resources) {
  using winres::Entry;
  const size_t entriesAt = sizeof(winres::BlockHeader);
  std::vector<unsigned char> out(entriesAt + resources.size() * sizeof(Entry), 0);
  std::vector<Entry> entries(resources.size());

  auto entryAt = [&](size_t i) { return entriesAt + i * sizeof(Entry); };
  auto relative = [&](size_t i, size_t target) -> int32_t {
    size_t off = target - entryAt(i);
    if (target > size_t(std::numeric_limits<int32_t>::max()))
      throw std::runtime_error("resource table larger than 2 GB");
    return int32_t(off);
  };
  auto addString = [&](const std::string& s) {
    size_t at = out.size();
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
    return at;
  };

  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    Entry& e = entries[i];
    e.typeId = r.typeId;
    e.nameId = r.nameId;
    if (!r.typeId) e.typeName = relative(i, addString(r.typeName));
    if (!r.nameId) e.nameName = relative(i, addString(r.name));
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    PadTo(out, winres::kAlign);
    size_t at = out.size();
    out.insert(out.end(), resources[i].data.begin(), resources[i].data.end());
    entries[i].data = relative(i, at);
    entries[i].size = uint32_t(resources[i].data.size());
  }
  PadTo(out, winres::kAlign);
  if (out.size() > size_t(std::numeric_limits<int32_t>::max()))
    throw std::runtime_error("resource table larger than 2 GB");

  winres::BlockHeader header{};
  std::memcpy(header.magic, winres::kBlockMagic, 4);
  header.size = uint32_t(out.size());
  header.count = uint32_t(resources.size());
  std::memcpy(out.data(), &header, sizeof header);
  for (size_t i = 0; i < entries.size(); ++i) std::memcpy(&out[entryAt(i)], &entries[i], sizeof(Entry));
  return out;
}

bool ParseDottedVersion(const std::string& text, uint16_t out[4]) {
  uint16_t parts[4] = {};
  int count = 0;
  size_t pos = 0;
  while (true) {
    size_t dot = text.find('.', pos);
    std::string item = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    if (item.empty() || item.size() > 5 || count == 4) return false;
    unsigned long v = 0;
    for (char c : item) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + unsigned(c - '0');
    }
    if (v > 0xFFFF) return false;
    parts[count++] = uint16_t(v);
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  std::memcpy(out, parts, sizeof parts);
  return true;
}

std::vector<unsigned char> BuildVersionData(const VersionInfo& info) {
  std::vector<unsigned char> out(sizeof(winres::VersionHeader), 0);
  for (const auto& [name, value] : info.strings) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), value.begin(), value.end());
    out.push_back(0);
  }
  PadTo(out, 4);

  winres::VersionHeader h{};
  std::memcpy(h.magic, winres::kVersionMagic, 4);
  h.size = uint32_t(out.size());
  h.translation = uint32_t(winres::kLanguageKorean) | (uint32_t(winres::kCodePage949) << 16);
  h.stringCount = uint32_t(info.strings.size());
  auto ms = [](const uint16_t v[4]) { return (uint32_t(v[0]) << 16) | v[1]; };
  auto ls = [](const uint16_t v[4]) { return (uint32_t(v[2]) << 16) | v[3]; };
  h.fixed[0] = winres::kFixedSignature;
  h.fixed[1] = 0x00010000;  // structure version
  h.fixed[2] = ms(info.fileVersion);
  h.fixed[3] = ls(info.fileVersion);
  h.fixed[4] = ms(info.productVersion);
  h.fixed[5] = ls(info.productVersion);
  h.fixed[6] = 0x3F;                 // flags mask
  h.fixed[7] = 0;                    // flags
  h.fixed[8] = 0x00040004;           // VOS_NT_WINDOWS32
  h.fixed[9] = info.dll ? 2 : 1;     // VFT_DLL / VFT_APP
  std::memcpy(out.data(), &h, sizeof h);
  return out;
}

}  // namespace rescomp
