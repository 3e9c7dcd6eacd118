// Layout of the resource table that the resource compiler (tools/rescomp) writes into a
// program's "winres" ELF section and that FindResourceA and GetFileVersionInfoA read.
//
// The section is a run of blocks, one per compiled script, each aligned to 16 bytes and padded
// to a multiple of 16 (the linker puts the blocks of several objects side by side). A block is
// a header, its entries, then the names and the data. Every offset in an entry is counted
// from that entry's own address, so a table needs no relocation and reads the same from a
// mapped module as from the bytes of a file.
#pragma once
#include <cstdint>

namespace winres {

inline constexpr char kSectionName[] = "winres";
inline constexpr char kBlockMagic[4] = {'W', 'R', 'S', '1'};
inline constexpr uint32_t kAlign = 16;

struct BlockHeader {
  char magic[4];
  uint32_t size;   // whole block, header included, a multiple of kAlign
  uint32_t count;  // entries that follow the header
  uint32_t reserved;
};

struct Entry {
  uint32_t typeId;   // integer type (1..65535), or 0 when typeName is used
  int32_t typeName;  // offset of the upper-case type name (NUL-terminated), 0 when typeId is used
  uint32_t nameId;   // integer name, or 0 when nameName is used
  int32_t nameName;  // offset of the upper-case name
  int32_t data;      // offset of the data
  uint32_t size;     // bytes of data
  uint32_t reserved[2];
};

static_assert(sizeof(BlockHeader) == 16 && sizeof(Entry) == 32, "table layout is fixed");

// The data of the version record (type 16, name 1): a header, then stringCount pairs of
// NUL-terminated name and value (code page 949).
inline constexpr char kVersionMagic[4] = {'W', 'V', 'R', '1'};
inline constexpr uint32_t kVersionType = 16;
inline constexpr uint32_t kVersionName = 1;

struct VersionHeader {
  char magic[4];
  uint32_t size;         // header and strings
  uint32_t translation;  // language in the low word, code page in the high word
  uint32_t stringCount;
  uint32_t fixed[13];    // the fixed-info block as VerQueryValueA "\" returns it
};

static_assert(sizeof(VersionHeader) == 68, "version layout is fixed");

inline constexpr uint32_t kFixedSignature = 0xFEEF04BD;
inline constexpr uint16_t kLanguageKorean = 0x0412;
inline constexpr uint16_t kCodePage949 = 949;

}  // namespace winres
