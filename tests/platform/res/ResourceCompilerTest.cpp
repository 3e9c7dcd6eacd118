// The resource compiler run as the build runs it: good scripts give a table and a depfile,
// bad ones fail with the line and the reason and write nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ResourceTable.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

class Compiler : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/rescomp_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    Write("tiny.bmp", DataFile("tiny.bmp"));
    Write("done.txt", "\xEC\x99\x84\xEB\xA3\x8C\n");  // "완료"
  }
  void TearDown() override { fs::remove_all(dir); }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
  }

  // Runs the compiler on the script text; returns its exit code, stderr in `errors`.
  int Run(const std::string& script) {
    Write("test.rc", script);
    std::string cmd = std::string(RES_COMPILER) + " --depfile " + (dir / "out.d").string() + " " +
                      (dir / "test.rc").string() + " " + (dir / "out.cpp").string() + " 2> " +
                      (dir / "errors.txt").string();
    int status = std::system(cmd.c_str());
    errors = ReadFixture((dir / "errors.txt").string());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir;
  std::string errors;
};

TEST_F(Compiler, WritesTableSourceAndDepfile) {
  ASSERT_EQ(Run("# test\nTITLE BITMAP tiny.bmp\r\n 5 \"My Type\" done.txt TEXT\nVERSION FileVersion 3.1\n"), 0)
      << errors;
  std::string bin = ReadFixture((dir / "out.bin").string());
  auto entries = winplat::res::Entries({reinterpret_cast<const unsigned char*>(bin.data()), bin.size()});
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0]->typeId, 2u);
  EXPECT_EQ(entries[0]->size, DataFile("tiny.bmp").size() - 14);
  EXPECT_EQ(entries[1]->nameId, 5u);
  EXPECT_STREQ(reinterpret_cast<const char*>(entries[1]) + entries[1]->typeName, "MY TYPE");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(winplat::res::EntryData(*entries[1])), entries[1]->size),
            kDoneCp949);
  EXPECT_EQ(entries[2]->typeId, 16u);

  std::string cpp = ReadFixture((dir / "out.cpp").string());
  EXPECT_NE(cpp.find(".incbin"), std::string::npos);
  EXPECT_NE(cpp.find("winres"), std::string::npos);
  std::string deps = ReadFixture((dir / "out.d").string());
  EXPECT_NE(deps.find((dir / "tiny.bmp").string()), std::string::npos);
  EXPECT_NE(deps.find((dir / "done.txt").string()), std::string::npos);
}

TEST_F(Compiler, BadScriptsFailWithLineAndReason) {
  Write("bad.bmp", "not a bitmap at all, just text");
  Write("latin1.txt", "caf\xE9\n");
  Write("emoji.txt", "\xF0\x9F\x98\x80\n");
  const struct {
    std::string script;
    std::string message;
  } cases[] = {
      {"A RCDATA missing.bin\n", ":1: error: cannot read"},
      {"\nA BITMAP bad.bmp\n", ":2: error:"},
      {"A RCDATA latin1.txt TEXT\n", "malformed UTF-8"},
      {"A RCDATA emoji.txt TEXT\n", "not representable"},
      {"A RCDATA done.txt\nA rcdata done.txt\n", ":2: error: resource given twice"},
      {"A RCDATA done.txt BINARY\n", "unknown option"},
      {"70000 RCDATA done.txt\n", "out of range"},
      {"A 0 done.txt\n", "out of range"},
      {"A RCDATA\n", "expected: name type file"},
      {"A RCDATA \"done.txt\n", "unterminated"},
      {"VERSION CompanyName Delmaro\n", "needs FileVersion"},
      {"VERSION FileVersion 1.x\n", "FileVersion must be"},
      {"VERSION FileVersion 1.0\nVERSION fileversion 1.1\n", "given twice"},
      {"VERSION FileType EXE\nVERSION FileVersion 1.0\n", "FileType is APP or DLL"},
      {"1 VERSION done.txt\n", "VERSION lines"},
  };
  for (const auto& c : cases) {
    fs::remove(dir / "out.cpp");
    fs::remove(dir / "out.bin");
    EXPECT_EQ(Run(c.script), 1) << c.script;
    EXPECT_NE(errors.find(c.message), std::string::npos) << c.script << " -> " << errors;
    EXPECT_FALSE(fs::exists(dir / "out.cpp")) << c.script;
  }
}

TEST_F(Compiler, RelativeFilesStartAtTheBaseFolder) {
  fs::create_directory(dir / "art");
  fs::rename(dir / "tiny.bmp", dir / "art" / "tiny.bmp");
  Write("test.rc", "TITLE BITMAP tiny.bmp\n");
  std::string cmd = std::string(RES_COMPILER) + " --base " + (dir / "art").string() + " " +
                    (dir / "test.rc").string() + " " + (dir / "out.cpp").string();
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(fs::exists(dir / "out.bin"));
}

}  // namespace
