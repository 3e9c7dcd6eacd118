// Which end of central directory record is an archive's: one rule for the zip component, which
// lists the archive, and the zip engine, which unpacks it, so that both read one directory.
#pragma once
#include <cstddef>
#include <cstdint>

enum class ZipEndSearch { Found, None, Ambiguous };

// tail holds the last size bytes of the file. The end record is the last one whose comment ends
// within the file, else (a comment cut short) the last one at all; at is its offset in tail. A
// record in front of it whose comment ends exactly at the end of the file could be taken as the
// archive's just as well: such an archive is damaged, whatever a reader would choose.
inline ZipEndSearch FindZipEndRecord(const unsigned char* tail, size_t size, size_t& at) {
  constexpr size_t kRecordSize = 22;
  constexpr size_t kNone = ~size_t(0);
  if (size < kRecordSize) return ZipEndSearch::None;
  size_t last = kNone, whole = kNone;
  for (size_t i = size - kRecordSize + 1; i-- > 0;) {
    if (tail[i] != 0x50 || tail[i + 1] != 0x4B || tail[i + 2] != 0x05 || tail[i + 3] != 0x06) continue;
    const size_t end = i + kRecordSize + (tail[i + 20] | size_t(tail[i + 21]) << 8);
    if (last == kNone) last = i;
    if (whole == kNone) {
      if (end <= size) whole = i;
    } else if (end == size) {
      return ZipEndSearch::Ambiguous;
    }
  }
  if (last == kNone) return ZipEndSearch::None;
  at = whole != kNone ? whole : last;
  return ZipEndSearch::Found;
}

// Fields of an end record that stand for values of a Zip64 end record (all ones), which the
// engine then reads where the Zip64 locator before the end record says.
inline bool ZipEndDefersToZip64(uint16_t totalEntries, uint32_t centralSize, uint32_t centralOffset) {
  return totalEntries == 0xFFFF || centralSize == 0xFFFFFFFFu || centralOffset == 0xFFFFFFFFu;
}
