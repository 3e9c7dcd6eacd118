// The library as the zip component binds it: LoadLibraryA by path or by bare name,
// GetProcAddress for the six exports, version range, and ZE_Path naming the file loaded.
// A program of its own, so that no other copy of the library is loaded beside it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include "ZBEngineIntf.h"
#include "windows.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

struct EngineLoad : ::testing::Test {
  fs::path root;
  void SetUp() override {
    char tmpl[] = "/tmp/zbengine-load-XXXXXX";
    root = mkdtemp(tmpl);
    setenv("WINPLAT_DRIVES", ("C=" + root.string() + ",fixed").c_str(), 1);
    winplat::ReloadDrives();
    fs::create_directories(root / "Program Files" / "Movrant");
    fs::copy_file(ZBENGINE_PATH, root / "Program Files" / "Movrant" / "ZBEngine.dll");
  }
  void TearDown() override { fs::remove_all(root); }
};

}  // namespace

TEST_F(EngineLoad, BindsAllSixExportsAndNamesItsOwnFile) {
  const char* dosPath = "C:\\Program Files\\Movrant\\ZBEngine.dll";
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Program Files\\Movrant"));
  for (const char* name : {dosPath, "ZBEngine.dll"}) {
    SCOPED_TRACE(name);
    HMODULE lib = LoadLibraryA(name);
    ASSERT_NE(lib, nullptr) << GetLastError();
    const char* exports[] = {"ZE_UnzExec", "ZE_ZipExec", "ZE_Version", "ZE_PrivVersion", "ZE_Abort", "ZE_Path"};
    for (const char* e : exports) EXPECT_NE(GetProcAddress(lib, e), nullptr) << e;
    auto version = reinterpret_cast<ZE_VersionFunc>(reinterpret_cast<void*>(GetProcAddress(lib, "ZE_Version")));
    auto path = reinterpret_cast<ZE_PathFunc>(reinterpret_cast<void*>(GetProcAddress(lib, "ZE_Path")));
    ASSERT_TRUE(version && path);
    EXPECT_GE(version(), ZB_MIN_ENGINE_VERSION);
    EXPECT_LE(version(), ZB_MAX_ENGINE_VERSION);
    EXPECT_STREQ(path(), dosPath);
    EXPECT_TRUE(FreeLibrary(lib));
  }
}
