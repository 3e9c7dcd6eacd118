// Finding a named section in an ELF file by its section headers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace winplat::res {

struct ElfSection {
  uint64_t offset = 0;  // in the file
  uint64_t size = 0;
  uint64_t address = 0;  // link-time virtual address
  bool loaded = false;   // SHF_ALLOC: mapped when the module is loaded
};

enum class ElfResult { Found, NotElf, NoSection, Unreadable };

// Looks for the section in the ELF file at unixPath (32- or 64-bit, little-endian).
ElfResult FindElfSection(const std::string& unixPath, const char* name, ElfSection& section);

// Reads the section's bytes from the file.
bool ReadElfSection(const std::string& unixPath, const ElfSection& section, std::vector<unsigned char>& bytes);

}  // namespace winplat::res
