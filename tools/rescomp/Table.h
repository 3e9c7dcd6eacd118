// Builds one block of the resource table (ResourceFormat.h) and the version record data.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rescomp {

struct Resource {
  uint16_t typeId = 0;
  std::string typeName;
  uint16_t nameId = 0;
  std::string name;
  std::vector<unsigned char> data;
};

// Throws std::runtime_error when the block would exceed the 32-bit offsets.
std::vector<unsigned char> BuildBlock(const std::vector<Resource>& resources);

struct VersionInfo {
  uint16_t fileVersion[4] = {};
  uint16_t productVersion[4] = {};
  bool dll = false;
  std::vector<std::pair<std::string, std::string>> strings;  // code page 949
};

std::vector<unsigned char> BuildVersionData(const VersionInfo& info);

// "1.2.3.4" (one to four numbers up to 65535) -> the four words; false when malformed.
bool ParseDottedVersion(const std::string& text, uint16_t out[4]);

}  // namespace rescomp
