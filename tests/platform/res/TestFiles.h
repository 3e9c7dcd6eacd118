// Reading the fixtures the resource script of these tests names.
#pragma once
#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadFixture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string DataFile(const std::string& name) { return ReadFixture(std::string(RES_DATA_DIR) + "/" + name); }

// "완료\n" in code page 949.
inline const std::string kDoneCp949 = "\xBF\xCF\xB7\xE1\n";
