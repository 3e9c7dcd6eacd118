#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ShippedFiles.h"
#include "windows.h"
#include "winplat.h"

namespace {

std::string SelfDos() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  return winplat::UnixToDos(std::string(buf, size_t(n > 0 ? n : 0)));
}

std::vector<char> VersionBlock(const std::string& dosPath) {
  DWORD handle = 7;
  DWORD size = GetFileVersionInfoSizeA(dosPath.c_str(), &handle);
  EXPECT_EQ(handle, 0u);
  std::vector<char> block(size);
  if (size) {
    EXPECT_TRUE(GetFileVersionInfoA(dosPath.c_str(), 0, size, block.data()));
  }
  return block;
}

std::string Query(const std::vector<char>& block, const char* path) {
  LPVOID value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path, &value, &length)) return "<none>";
  const char* text = static_cast<const char*>(value);
  EXPECT_EQ(length, strlen(text) + 1);
  return text;
}

const VS_FIXEDFILEINFO* Fixed(const std::vector<char>& block) {
  LPVOID value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length)) return nullptr;
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  return static_cast<const VS_FIXEDFILEINFO*>(value);
}

TEST(VersionInfo, ProgramRecordHasTranslationAndStrings) {
  std::vector<char> block = VersionBlock(SelfDos());
  ASSERT_FALSE(block.empty());

  LPVOID value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  const WORD* words = static_cast<const WORD*>(value);
  EXPECT_EQ(words[0], 0x0412);
  EXPECT_EQ(words[1], 949);

  const struct {
    const char* path;
    std::string expected;
  } cases[] = {
      {"\\StringFileInfo\\041203B5\\FileVersion", "1.2.3.4"},
      {"\\StringFileInfo\\041203b5\\fileversion", "1.2.3.4"},  // keys ignore case
      {"\\StringFileInfo\\041203B5\\ProductVersion", "1.2.3.4"},
      {"\\StringFileInfo\\041203B5\\FileDescription", "\xC0\xDA\xBF\xF8 \xBD\xC3\xC7\xE8"},  // "자원 시험"
      {"\\StringFileInfo\\041203B5\\OriginalFilename", "res_tests"},
      {"\\StringFileInfo\\041203B5\\CompanyName", "Delmaro"},
      {"\\StringFileInfo\\041203B5\\Comments", "<none>"},
      {"\\StringFileInfo\\040904B0\\FileVersion", "<none>"},  // no such translation
      {"\\StringFileInfo\\FileVersion", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(block, c.path), c.expected) << c.path;
}

TEST(VersionInfo, FixedBlockCarriesTheNumbers) {
  std::vector<char> block = VersionBlock(SelfDos());
  ASSERT_FALSE(block.empty());
  const VS_FIXEDFILEINFO* fixed = Fixed(block);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
}

TEST(VersionInfo, LibraryRecordIsItsOwn) {
  std::vector<char> block = VersionBlock(winplat::UnixToDos(RES_LIBRARY));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(Query(block, "\\StringFileInfo\\041203B5\\FileVersion"), "2.5.0.7");
  const VS_FIXEDFILEINFO* fixed = Fixed(block);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020005u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
}

TEST(VersionInfo, ShippedFilesCarryTheirRecord) {
  for (const char* const* file = kShippedFiles; *file; ++file) {
    std::vector<char> block = VersionBlock(winplat::UnixToDos(*file));
    ASSERT_FALSE(block.empty()) << *file;
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length)) << *file;
    ASSERT_EQ(length, 4u) << *file;
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0412) << *file;
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 949) << *file;
    EXPECT_NE(Query(block, "\\StringFileInfo\\041203B5\\FileVersion"), "<none>") << *file;
    const VS_FIXEDFILEINFO* fixed = Fixed(block);
    ASSERT_NE(fixed, nullptr) << *file;
    EXPECT_NE(fixed->dwFileVersionMS | fixed->dwFileVersionLS, 0u) << *file;
  }
}

TEST(VersionInfo, FilesWithoutRecordGiveZero) {
  char dir[] = "/tmp/res_version_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string text = std::string(dir) + "/readme.txt";
  std::ofstream(text) << "FileVersion 1.0.0.1\n";
  std::string empty = std::string(dir) + "/empty.exe";
  std::ofstream(empty).flush();
  // A program of ours cut short (an interrupted download), and one whose section headers
  // are overwritten: the headers point past the end or nowhere, and nothing is read there.
  std::ifstream selfFile("/proc/self/exe", std::ios::binary);
  const std::string self((std::istreambuf_iterator<char>(selfFile)), std::istreambuf_iterator<char>());
  ASSERT_GT(self.size(), 4096u);
  std::string cut = std::string(dir) + "/cut.exe";
  std::ofstream(cut, std::ios::binary) << self.substr(0, self.size() / 2);
  uint64_t headers = 0;
  std::memcpy(&headers, self.data() + 0x28, sizeof headers);  // e_shoff of a 64-bit ELF file
  ASSERT_LT(headers, self.size());
  std::string garbled = std::string(dir) + "/garbled.exe";
  std::ofstream(garbled, std::ios::binary) << self.substr(0, headers) + std::string(self.size() - headers, '\xFF');

  const struct {
    std::string dosPath;
    DWORD error;
  } cases[] = {
      {winplat::UnixToDos(text), ERROR_RESOURCE_DATA_NOT_FOUND},
      {winplat::UnixToDos(empty), ERROR_RESOURCE_DATA_NOT_FOUND},
      {winplat::UnixToDos(cut), ERROR_RESOURCE_DATA_NOT_FOUND},
      {winplat::UnixToDos(garbled), ERROR_RESOURCE_DATA_NOT_FOUND},
      {winplat::UnixToDos(RES_COMPILER), ERROR_RESOURCE_DATA_NOT_FOUND},  // ELF without a table
      {winplat::UnixToDos(RES_PLAIN_LIBRARY), ERROR_RESOURCE_DATA_NOT_FOUND},
      {winplat::UnixToDos(std::string(dir) + "/missing.exe"), ERROR_FILE_NOT_FOUND},
      {winplat::UnixToDos(dir), ERROR_RESOURCE_DATA_NOT_FOUND},  // a folder
  };
  for (const auto& c : cases) {
    SetLastError(0);
    DWORD handle = 1;
    EXPECT_EQ(GetFileVersionInfoSizeA(c.dosPath.c_str(), &handle), 0u) << c.dosPath;
    EXPECT_EQ(GetLastError(), c.error) << c.dosPath;
    char buffer[256] = {};
    EXPECT_FALSE(GetFileVersionInfoA(c.dosPath.c_str(), 0, sizeof buffer, buffer));
  }
  unlink(text.c_str());
  unlink(empty.c_str());
  unlink(cut.c_str());
  unlink(garbled.c_str());
  rmdir(dir);
}

TEST(VersionInfo, ShortBufferIsRefused) {
  std::string self = SelfDos();
  DWORD size = GetFileVersionInfoSizeA(self.c_str(), nullptr);
  ASSERT_GT(size, 8u);
  std::vector<char> block(size, 'x');
  SetLastError(0);
  EXPECT_FALSE(GetFileVersionInfoA(self.c_str(), 0, size - 1, block.data()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST(VersionInfo, QueryOnForeignBlockFails) {
  std::vector<char> junk(256, 'j');
  LPVOID value = nullptr;
  UINT length = 9;
  EXPECT_FALSE(VerQueryValueA(junk.data(), "\\", &value, &length));
  EXPECT_EQ(length, 0u);
}

}  // namespace
