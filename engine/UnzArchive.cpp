#include "UnzArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "ZipEndRecord.h"

namespace zbe {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kEnd64LocatorSig = 0x07064b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
uint64_t Get64(const unsigned char* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

// Zip64 sizes and offset replace the 32-bit fields that hold all ones, in this order.
void ApplyZip64(ZEntry& e, const unsigned char* p, size_t n) {
  size_t at = 0;
  auto take = [&](uint64_t& field) {
    if (at + 8 <= n) {
      field = Get64(p + at);
      at += 8;
    }
  };
  if (e.size == 0xFFFFFFFFu) take(e.size);
  if (e.compressedSize == 0xFFFFFFFFu) take(e.compressedSize);
  if (e.localOffset == 0xFFFFFFFFu) take(e.localOffset);
}

void ReadExtra(ZEntry& e, const unsigned char* p, size_t n) {
  size_t at = 0;
  while (at + 4 <= n) {
    uint16_t id = Get16(p + at);
    uint16_t len = Get16(p + at + 2);
    const unsigned char* data = p + at + 4;
    if (at + 4 + len > n) break;
    if (id == 0x0001) {
      ApplyZip64(e, data, len);
    } else if (id == 0x7075 && len > 5 && data[0] == 1) {
      // Unicode path: only valid while it still describes the stored name.
      uint32_t nameCrc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(e.rawName.data()), static_cast<uInt>(e.rawName.size())));
      if (Get32(data + 1) == nameCrc) e.unicodeName.assign(reinterpret_cast<const char*>(data + 5), len - 5);
    }
    at += 4 + len;
  }
}

}  // namespace

bool ZEntry::IsDirectory() const {
  if (!rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\')) return true;
  return (externalAttr & 0x10) != 0 && size == 0 && compressedSize == 0;
}

ZReadResult ReadDirectory(ByteSource& source, ZArchive& archive, std::string& detail) {
  archive = ZArchive{};
  uint64_t fileSize = source.Size();
  if (fileSize < kEndSize) {
    detail = "file too short for a zip archive";
    return ZReadResult::NotZip;
  }
  // The end record sits in the last 64 KB + 22 bytes (its comment is at most 65535 bytes).
  size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, 0xFFFF + kEndSize));
  uint64_t tailStart = fileSize - tailSize;
  std::vector<unsigned char> tail(tailSize);
  if (!source.ReadAt(tailStart, tail.data(), tailSize)) {
    detail = "cannot read the end of the file";
    return ZReadResult::ReadError;
  }
  // The zip component lists the archive by the same rule.
  size_t found = 0;
  switch (FindZipEndRecord(tail.data(), tailSize, found)) {
    case ZipEndSearch::Found:
      break;
    case ZipEndSearch::None:
      detail = "no end of central directory record (not a zip archive, or truncated)";
      return ZReadResult::NotZip;
    case ZipEndSearch::Ambiguous:
      detail = "two end of central directory records could each be the archive's";
      return ZReadResult::Damaged;
  }
  const unsigned char* end = &tail[found];
  uint64_t endPos = tailStart + found;
  uint64_t count = Get16(end + 10);
  uint64_t cdSize = Get32(end + 12);
  uint64_t cdOffset = Get32(end + 16);
  uint16_t commentLen = Get16(end + 20);
  size_t commentAvail = std::min<size_t>(commentLen, tailSize - found - kEndSize);
  archive.comment.assign(reinterpret_cast<const char*>(end + kEndSize), commentAvail);
  uint64_t dirEnd = endPos;  // the central directory ends where the (Zip64) end record starts

  if (ZipEndDefersToZip64(static_cast<uint16_t>(count), static_cast<uint32_t>(cdSize),
                          static_cast<uint32_t>(cdOffset))) {
    unsigned char loc[20];
    if (endPos >= 20 && source.ReadAt(endPos - 20, loc, 20) && Get32(loc) == kEnd64LocatorSig) {
      unsigned char rec[56];
      uint64_t recPos = Get64(loc + 8);
      // With bytes in front, the stored offset is short by their length; the record sits just
      // before the locator in a well-formed file.
      uint64_t expected = endPos - 20 >= 56 ? endPos - 20 - 56 : 0;
      bool ok = source.ReadAt(recPos, rec, 56) && Get32(rec) == kEnd64Sig;
      if (!ok && source.ReadAt(expected, rec, 56) && Get32(rec) == kEnd64Sig) {
        recPos = expected;
        ok = true;
      }
      if (!ok) {
        detail = "damaged Zip64 end record";
        return ZReadResult::Damaged;
      }
      count = Get64(rec + 32);
      cdSize = Get64(rec + 40);
      cdOffset = Get64(rec + 48);
      dirEnd = recPos;
    }
  }

  if (cdSize > dirEnd) {
    detail = "central directory larger than the file";
    return ZReadResult::Damaged;
  }
  // Where the directory really starts tells how many bytes sit in front of the archive.
  uint64_t cdStart = dirEnd - cdSize;
  archive.shift = static_cast<int64_t>(cdStart) - static_cast<int64_t>(cdOffset);
  if (count > 0) {
    unsigned char sig[4];
    bool atShift = source.ReadAt(cdStart, sig, 4) && Get32(sig) == kCentralSig;
    if (!atShift) {
      if (cdOffset + 4 <= fileSize && source.ReadAt(cdOffset, sig, 4) && Get32(sig) == kCentralSig) {
        archive.shift = 0;
        cdStart = cdOffset;
      } else {
        detail = Format("no central directory at offset %llu", cdStart);
        return ZReadResult::Damaged;
      }
    }
  }
  if (cdStart + cdSize > fileSize) {
    detail = "central directory beyond the end of the file";
    return ZReadResult::Damaged;
  }
  // Every entry takes at least 46 bytes: a count beyond that is a lie, not a reason to allocate.
  if (count > cdSize / kCentralSize) {
    detail = Format("directory claims %llu entries in %llu bytes", count, cdSize);
    return ZReadResult::Damaged;
  }

  std::vector<unsigned char> cd(static_cast<size_t>(cdSize));
  if (cdSize > 0 && !source.ReadAt(cdStart, cd.data(), cd.size())) {
    detail = "cannot read the central directory";
    return ZReadResult::ReadError;
  }
  archive.entries.reserve(static_cast<size_t>(count));
  size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (at + kCentralSize > cd.size() || Get32(&cd[at]) != kCentralSig) {
      detail = Format("central directory damaged at entry %llu of %llu", i + 1, count);
      return ZReadResult::Damaged;
    }
    const unsigned char* p = &cd[at];
    size_t nameLen = Get16(p + 28), extraLen = Get16(p + 30), commentLen2 = Get16(p + 32);
    if (at + kCentralSize + nameLen + extraLen + commentLen2 > cd.size()) {
      detail = Format("central directory entry %llu runs past the directory", i + 1);
      return ZReadResult::Damaged;
    }
    ZEntry e;
    e.versionMadeBy = Get16(p + 4);
    e.flags = Get16(p + 8);
    e.method = Get16(p + 10);
    e.dosTime = Get16(p + 12);
    e.dosDate = Get16(p + 14);
    e.crc = Get32(p + 16);
    e.compressedSize = Get32(p + 20);
    e.size = Get32(p + 24);
    e.externalAttr = Get32(p + 38);
    e.localOffset = Get32(p + 42);
    e.rawName.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLen);
    ReadExtra(e, p + kCentralSize + nameLen, extraLen);
    archive.entries.push_back(std::move(e));
    at += kCentralSize + nameLen + extraLen + commentLen2;
  }
  return ZReadResult::Ok;
}

bool LocateData(ByteSource& source, const ZArchive& archive, const ZEntry& entry, uint64_t& dataOffset,
                std::string& detail) {
  int64_t pos = static_cast<int64_t>(entry.localOffset) + archive.shift;
  unsigned char h[kLocalSize];
  if (pos < 0 || !source.ReadAt(static_cast<uint64_t>(pos), h, kLocalSize) || Get32(h) != kLocalSig) {
    detail = "local header missing or damaged";
    return false;
  }
  dataOffset = static_cast<uint64_t>(pos) + kLocalSize + Get16(h + 26) + Get16(h + 28);
  if (dataOffset > source.Size() || entry.compressedSize > source.Size() - dataOffset) {
    detail = "data runs past the end of the archive (truncated)";
    return false;
  }
  return true;
}

}  // namespace zbe
