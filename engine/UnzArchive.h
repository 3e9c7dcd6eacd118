// The archive's directory: the end record (also Zip64), the central directory and the local
// header of each entry. Offsets are corrected for bytes in front of the archive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "UnzSource.h"

namespace zbe {

struct ZEntry {
  std::string rawName;      // name bytes as stored
  std::string unicodeName;  // UTF-8 name from a Unicode path extra field that matches rawName
  uint16_t versionMadeBy = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint32_t externalAttr = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;  // as stored

  bool IsUtf8() const { return (flags & 0x0800) != 0; }
  bool IsEncrypted() const { return (flags & 0x0001) != 0; }
  bool HasDataDescriptor() const { return (flags & 0x0008) != 0; }
  bool IsDirectory() const;
  uint32_t DosDateTime() const { return (static_cast<uint32_t>(dosDate) << 16) | dosTime; }
};

struct ZArchive {
  std::vector<ZEntry> entries;
  std::string comment;
  int64_t shift = 0;  // add to stored offsets to get file offsets
};

enum class ZReadResult { Ok, NotZip, Damaged, ReadError };

// Reads the end record and the central directory; detail says what is wrong.
ZReadResult ReadDirectory(ByteSource& source, ZArchive& archive, std::string& detail);

// Checks the entry's local header and gives the file offset of its data.
bool LocateData(ByteSource& source, const ZArchive& archive, const ZEntry& entry, uint64_t& dataOffset,
                std::string& detail);

}  // namespace zbe
