// Engine library binding against stand-in libraries built by the tests: search order, version
// window, missing exports and files, nested users, engine results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZBDBind.h"
#include "winplat.h"
#include "windows.h"

namespace {

// DOS folder of a stand-in engine built next to this test.
std::string EngineDir(const char* name) { return winplat::UnixToDos(std::string(ZIP_TEST_ENGINES) + "/" + name); }
std::string EngineName(const char* name) { return std::string("C:\\engines\\") + name + "\\ZBEngine.dll"; }

class ZBDBindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bind.Events()->OnMessage = [this](TObject*, int code, const AnsiString& msg) {
      messages.push_back(std::to_string(code) + "|" + msg.str());
    };
    char cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    savedDir = cwd;
  }
  void TearDown() override { SetCurrentDirectoryA(savedDir.c_str()); }

  // Expects `call` to raise the given id and text, leaving nothing bound.
  template <class F>
  void ExpectRaise(F call, int id, const std::string& text) {
    try {
      call();
      ADD_FAILURE() << "no exception, expected " << id;
    } catch (const EZipBuilder& e) {
      EXPECT_EQ(e.MessageId, id);
      EXPECT_EQ(e.Message.str(), text);
    }
    EXPECT_FALSE(bind.IsLoaded());
    EXPECT_EQ(bind.ZE_UnzExec, nullptr);
    EXPECT_EQ(bind.ZE_Path, nullptr);
    EXPECT_EQ(bind.Version, 0);
    EXPECT_EQ(bind.PrivVersion, 0);
    EXPECT_EQ(bind.Usage, 0);
  }

  TComponent owner{nullptr};
  TZBDynamicBind bind{&owner};
  std::vector<std::string> messages;
  std::string savedDir;
};

TEST_F(ZBDBindTest, ConstructionState) {
  EXPECT_EQ(bind.LibraryName.str(), "ZBEngine.dll");
  EXPECT_TRUE(bind.DLLDirectory.IsEmpty());
  EXPECT_FALSE(bind.IsLoaded());
  EXPECT_EQ(bind.Usage, 0);
}

TEST_F(ZBDBindTest, GoodLibraryLoadsAndUnloads) {
  bind.SetDllDirectory(EngineDir("v179"));
  EXPECT_EQ(bind.CheckLoad(), 179);
  EXPECT_TRUE(bind.IsLoaded());
  EXPECT_EQ(bind.PrivVersion, 1790001);
  EXPECT_EQ(bind.LibraryName.str(), EngineName("v179"));
  EXPECT_NE(bind.ZE_ZipExec, nullptr);
  EXPECT_EQ(bind.Usage, TZBDynamicBind::ubOperation);
  bind.CheckRelease();
  EXPECT_FALSE(bind.IsLoaded());
  EXPECT_EQ(bind.ZE_UnzExec, nullptr);
  EXPECT_TRUE(messages.empty());  // not verbose
}

TEST_F(ZBDBindTest, VersionOutsideTheWindowIsRefused) {
  for (const char* name : {"v178", "v301"}) {
    bind.SetDllDirectory(EngineDir(name));
    ExpectRaise([this] { bind.CheckLoad(); }, 10651, "Unable to load " + EngineName(name) + " - It is old or corrupt");
  }
}

TEST_F(ZBDBindTest, MissingExportKeepsThePreviousName) {
  bind.SetDllDirectory(EngineDir("nopath"));
  ExpectRaise([this] { bind.CheckLoad(); }, 10651, "Unable to load ZBEngine.dll - It is old or corrupt");

  bind.SetDllDirectory(EngineDir("v179"));
  bind.CheckLoad();
  bind.CheckRelease();
  bind.SetDllDirectory(EngineDir("nopath"));
  ExpectRaise([this] { bind.CheckLoad(); }, 10651, "Unable to load " + EngineName("v179") + " - It is old or corrupt");
}

TEST_F(ZBDBindTest, MissingFile) {
  const std::string path = "C:\\no\\such\\folder\\ZBEngine.dll";
  EXPECT_EQ(bind.LoadLib(path.c_str(), false), 0);
  EXPECT_FALSE(bind.IsLoaded());
  EXPECT_TRUE(messages.empty());
  ExpectRaise([&] { bind.LoadLib(path.c_str(), true); }, 10650, "Failed to load " + path);

  bind.Verbose = true;  // the system's reason goes out before the exception
  ExpectRaise([&] { bind.LoadLib(path.c_str(), true); }, 10650, "Failed to load " + path);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("0|Error [", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("] loading " + path + " "), std::string::npos) << messages[0];
}

TEST_F(ZBDBindTest, FolderWithoutTheFileFallsBackToTheBareName) {
  // The bare name is found in the current folder (none lies in the program's folder).
  ASSERT_TRUE(SetCurrentDirectoryA(EngineDir("v301").c_str()));
  bind.SetDllDirectory(EngineDir("empty"));
  ExpectRaise([this] { bind.CheckLoad(); }, 10651, "Unable to load " + EngineName("v301") + " - It is old or corrupt");
}

TEST_F(ZBDBindTest, DotFolderIsTakenFromTheProgramsFolder) {
  ASSERT_TRUE(SetCurrentDirectoryA(EngineDir("v301").c_str()));
  bind.SetDllDirectory(".\\engines\\v179\\");
  EXPECT_EQ(bind.DLLDirectory.str(), ".\\engines\\v179");
  EXPECT_EQ(bind.CheckLoad(), 179);
  EXPECT_EQ(bind.LibraryName.str(), EngineName("v179"));
  bind.CheckRelease();
}

TEST_F(ZBDBindTest, ResourceLibraryIsAbsentSoTheSearchGoesOn) {
  ASSERT_TRUE(SetCurrentDirectoryA(EngineDir("v179").c_str()));
  bind.Trace = true;
  bind.SetDllDirectory("><");
  EXPECT_EQ(bind.CheckLoad(), 179);
  EXPECT_EQ(messages.front(), "0|No dll in resource");
  EXPECT_TRUE(bind.ExtractedPath.IsEmpty());
  bind.CheckRelease();
}

TEST_F(ZBDBindTest, NestedUsersUnloadOnlyWhenBothReleased) {
  bind.SetDllDirectory(EngineDir("v179"));
  bind.SetDllLoad(true);
  EXPECT_TRUE(bind.IsLoaded());
  EXPECT_EQ(bind.CheckLoad(), 179);
  EXPECT_EQ(bind.Usage, TZBDynamicBind::ubDllLoad | TZBDynamicBind::ubOperation);
  bind.CheckRelease();
  EXPECT_TRUE(bind.IsLoaded());
  bind.SetDllLoad(false);
  EXPECT_FALSE(bind.IsLoaded());

  // The other way round: Dll_Load set while an operation holds the library does nothing.
  bind.CheckLoad();
  bind.SetDllLoad(true);
  EXPECT_EQ(bind.Usage, TZBDynamicBind::ubOperation);
  bind.CheckRelease();
  EXPECT_FALSE(bind.IsLoaded());
  bind.SetDllLoad(false);  // equal to the state: nothing
  EXPECT_FALSE(bind.IsLoaded());
}

TEST_F(ZBDBindTest, VerboseReportsLoadAndUnload) {
  bind.Verbose = true;
  bind.SetDllDirectory(EngineDir("v179"));
  bind.CheckLoad();
  bind.CheckRelease();
  EXPECT_EQ(messages, (std::vector<std::string>{"0|Loaded " + EngineName("v179"), "0|Unloaded " + EngineName("v179")}));
}

TEST_F(ZBDBindTest, EngineResults) {
  struct Case {
    int answer;
    bool engineThrows;
    int id;
    const char* text;
  };
  const Case cases[] = {
      {3, false, 0, ""},
      {0, false, 0, ""},
      {-1, false, 10120, "DLL Error - User Cancelled"},
      {-2, false, 10118, "DLL Error - Aborting"},
      {-3, false, 10123, "DLL Error - Exception in handler "},
      {-4, false, 10121, "DLL Error - Not enough memory"},
      {-5, false, 10122, "DLL Error - Invalid structure"},
      {-6, false, 10124, "critical DLL Error -6"},
      {-100, false, 10124, "critical DLL Error -100"},
      {0, true, 10124, "critical DLL Error -7"},  // an exception escaping the engine
  };
  bind.SetDllDirectory(EngineDir("v179"));
  for (const Case& c : cases) {
    UnzipParams block = {};
    block.Reserved116[0] = c.answer;
    block.Reserved116[1] = c.engineThrows;
    bind.CommandHandle = 42;
    try {
      EXPECT_EQ(bind.UnzExec(&block), c.answer);
      EXPECT_EQ(c.id, 0) << c.answer;
    } catch (const EZipBuilder& e) {
      EXPECT_EQ(e.MessageId, c.id) << c.answer;
      EXPECT_EQ(e.Message.str(), c.text);
    }
    EXPECT_EQ(bind.CommandHandle, 0u);
    EXPECT_FALSE(bind.IsLoaded()) << "the engine call's own hold is released";
  }
}

TEST_F(ZBDBindTest, AbortCancelsAndTellsTheEngine) {
  bind.Abort();  // nothing loaded: only the flag
  EXPECT_TRUE(bind.Cancel);
  bind.Cancel = false;
  bind.SetDllDirectory(EngineDir("v179"));
  bind.CheckLoad();
  bind.CommandHandle = 0x1234;
  bind.Abort();
  EXPECT_TRUE(bind.Cancel);
  auto lastAbort = reinterpret_cast<uint32_t (*)()>(
      reinterpret_cast<void*>(GetProcAddress(bind.ModuleHandle, "TestEngine_LastAbort")));
  ASSERT_NE(lastAbort, nullptr);
  EXPECT_EQ(lastAbort(), 0x1234u);
  bind.CheckRelease();
}

}  // namespace
