// The zip core: event dispatch of every report code, cancel polling, errors and notices,
// percentages, the temporary folder and the wait cursor.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "ZBCore.h"
#include "ZipTestDrives.h"
#include "windows.h"

namespace {

// A core whose events all write one line into a log.
class RecordingCore : public TZBCore {
 public:
  explicit RecordingCore(TComponent* owner) : TZBCore(owner) {}
  int ReportOther(int8_t code, int errcode, uint32_t n, const AnsiString& text) override {
    log.push_back("Other(" + std::to_string(code) + "," + std::to_string(errcode) + "," + std::to_string(n) + "," +
                  text.str() + ")");
    return 0;
  }
  std::vector<std::string> log;
};

std::string Q(const AnsiString& s) { return "'" + s.str() + "'"; }

class ZBCoreEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    TZBEvents* ev = core.Events();
    auto sender = [this](TObject* s) {
      if (s != &owner) core.log.push_back("wrong sender");
    };
    ev->OnTick = [this, sender](TObject* s) {
      sender(s);
      core.log.push_back("Tick");
    };
    ev->OnProgress = [this, sender](TObject* s, ProgressType t, const AnsiString& name, long long size) {
      sender(s);
      core.log.push_back("Progress(" + std::to_string(t) + "," + Q(name) + "," + std::to_string(size) + ")");
    };
    ev->OnProgressDetails = [this, sender](TObject* s, TProgressDetails* d) {
      sender(s);
      if (d != core.Details.get()) core.log.push_back("foreign details");
      core.log.push_back("Details(" + std::to_string(d->Action) + "," + Q(d->ItemName) + ",#" +
                         std::to_string(d->ItemNumber) + "/" + std::to_string(d->TotalCount) + "," +
                         std::to_string(d->ItemPosition) + "/" + std::to_string(d->ItemSize) + "," +
                         std::to_string(d->TotalPosition) + "/" + std::to_string(d->TotalSize) + ")");
    };
    ev->OnItemProgress = [this, sender](TObject* s, const AnsiString& item, uint32_t size, int pc) {
      sender(s);
      core.log.push_back("ItemProgress(" + Q(item) + "," + std::to_string(size) + "," + std::to_string(pc) + ")");
    };
    ev->OnTotalProgress = [this, sender](TObject* s, long long size, int pc) {
      sender(s);
      core.log.push_back("TotalProgress(" + std::to_string(size) + "," + std::to_string(pc) + ")");
    };
    ev->OnMessage = [this, sender](TObject* s, int code, const AnsiString& msg) {
      sender(s);
      core.log.push_back("Message(" + std::to_string(code) + "," + Q(msg) + ")");
    };
    ev->OnCheckTerminate = [this, sender](TObject* s, bool&) {
      sender(s);
      core.log.push_back("Poll");
    };
  }
  TComponent owner{nullptr};
  RecordingCore core{&owner};
};

TEST_F(ZBCoreEvents, EveryReportCodeFiresItsEventsInOrder) {
  struct Step {
    int8_t code;
    int errcode;
    long long n;
    const char* text;
    std::vector<std::string> expected;
  };
  const Step steps[] = {
      {0, 0, 0, "", {"Tick", "Poll"}},
      {5, 0, 3, "", {"Details(3,'',#0/3,0/0,0/0)", "Progress(3,'',3)", "Poll"}},
      {6, 0, 1000, "", {"Details(4,'',#0/3,0/0,0/1000)", "Progress(4,'',1000)", "Poll"}},
      {1, 0, 200, "a.txt",
       {"Progress(0,'a.txt',200)", "Details(0,'a.txt',#1/3,0/200,0/1000)", "ItemProgress('a.txt',200,0)", "Poll"}},
      {2, 0, 50, "",
       {"Progress(1,'',50)", "Details(1,'a.txt',#1/3,50/200,50/1000)", "ItemProgress('a.txt',50,25)",
        "TotalProgress(1000,5)", "Poll"}},
      {15, 9, 4, "joined.zip",
       {"Progress(5,'joined.zip',4)", "Details(5,'*Loading Directory',#1/3,0/4,50/1000)",
        "ItemProgress('*Loading Directory',4,0)", "Poll"}},
      {16, 9, 1, "",
       {"Progress(6,'*Loading Directory',1)", "Details(6,'*Loading Directory',#1/3,1/4,50/1000)",
        "ItemProgress('*Loading Directory',4,25)", "Poll"}},
      {3, 0, 0, "",
       {"Progress(2,'',0)", "Details(2,'',#1/3,1/0,50/1000)", "ItemProgress('',0,101)", "TotalProgress(0,101)",
        "Poll"}},
      {4, 0, 0, "hello", {"Message(0,'hello')", "Poll"}},
      {19, 0, 0, "", {"Poll"}},
      {7, 3, 0x100000005LL, "t", {"Other(7,3,5,t)", "Poll"}},
      {17, 0, 0, "", {"Other(17,0,0,)", "Poll"}},
      {-1, 0, 0, "", {"Other(-1,0,0,)", "Poll"}},
      {20, 0, 0, "", {"Other(20,0,0,)", "Poll"}},
  };
  for (const Step& s : steps) {
    core.log.clear();
    core.Report(s.code, s.errcode, s.n, s.text);
    EXPECT_EQ(core.log, s.expected) << "code " << int(s.code);
  }
  EXPECT_EQ(core.ErrCode, -1);  // no message carried a code
}

TEST_F(ZBCoreEvents, MessageCodes) {
  struct Case {
    int errcode;
    const char* failedEvent;
    int errCode;
    const char* errText;
    std::string logged;
  };
  const Case cases[] = {
      {0x109, "", 9, "engine text", "Message(265,'engine text')"},
      {0x109, " #10 \"boom\"", 9, "Exception in Event  #10 \"boom\"", "Message(265,'Exception in Event  #10 \"boom\"')"},
      {0x1FF, "", -1, "engine text", "Message(511,'engine text')"},
      {12, " #1 \"x\"", 12, "engine text", "Message(12,'engine text')"},  // only code 9 names the event
  };
  for (const Case& c : cases) {
    core.log.clear();
    core.FailedEventName = c.failedEvent;
    core.Report(4, c.errcode, 0, "engine text");
    EXPECT_EQ(core.ErrCode, c.errCode) << c.errcode;
    EXPECT_EQ(core.ErrText.str(), c.errText) << c.errcode;
    EXPECT_EQ(core.LastMessageCode, c.errcode);
    ASSERT_FALSE(core.log.empty());
    EXPECT_EQ(core.log[0], c.logged);
  }
}

TEST_F(ZBCoreEvents, ClosingSilencesEverything) {
  core.Closing = true;
  for (int code = -2; code <= 21; ++code) core.Report(int8_t(code), 5, 10, "x");
  EXPECT_TRUE(core.log.empty());
  EXPECT_EQ(core.ErrCode, -1);
}

TEST(ZBCore, CheckTerminateSetsCancelAndFalseNeverClearsIt) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  std::vector<bool> presets;
  bool answer = false;
  core.Events()->OnCheckTerminate = [&](TObject*, bool& abort) {
    presets.push_back(abort);
    abort = answer;
  };
  core.Report(19, 0, 0, "");
  EXPECT_FALSE(core.Cancel);
  answer = true;
  core.Report(0, 0, 0, "");
  EXPECT_TRUE(core.Cancel);
  answer = false;
  core.Report(19, 0, 0, "");
  EXPECT_TRUE(core.Cancel);
  EXPECT_EQ(presets, (std::vector<bool>{false, false, true}));  // abort starts as Cancel
}

TEST(ZBCore, UnassignedHandlersAreSkipped) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  for (int code : {0, 1, 2, 3, 4, 5, 6, 15, 16, 19}) core.Report(int8_t(code), 0, 10, "x");
  EXPECT_EQ(core.Details->ItemName.str(), "Resource missing for 11400");  // extra item without a sub-code
  EXPECT_EQ(core.Details->TotalCount, 10);
}

TEST(ZBCoreProgress, ItemPerCent) {
  struct Case {
    uint32_t size, position;
    int expected;
  };
  const Case cases[] = {
      {214747, 214746, 99},      // below the threshold: position * 100 / size
      {214748, 214747, 100},     // from the threshold: position / (size / 100), here / 2147
      {214747, 0, 0},
      {0, 5, 0},
      {200, 50, 25},
      {100000, 50000000, 7050},  // the product wraps in 32 bits
      {4000000000u, 2000000000u, 50},
  };
  for (const Case& c : cases) {
    TProgressDetails d;
    d.ItemSize = c.size;
    d.ItemPosition = c.position;
    EXPECT_EQ(d.ItemPerCent(), c.expected) << c.size << " " << c.position;
  }
}

TEST(ZBCoreProgress, TotalPerCent) {
  struct Case {
    long long size, position;
    int expected;
  };
  const Case cases[] = {
      {0, 10, 0}, {-5, 10, 0}, {100, 0, 0}, {100, -1, 0}, {100, 150, 150}, {3, 1, 33}, {10000000000000LL, 5000000000000LL, 50},
  };
  for (const Case& c : cases) {
    TProgressDetails d;
    d.TotalSize = c.size;
    d.TotalPosition = c.position;
    EXPECT_EQ(d.TotalPerCent(), c.expected) << c.size << " " << c.position;
  }
}

TEST(ZBCoreProgress, SnapshotSetters) {
  TProgDetails d;
  d.SetCount(4);
  d.SetTotalSize(1000);
  EXPECT_EQ(d.TotalCount, 4);  // kept by SetTotalSize
  d.NewItem("a", 10);
  d.Advance(4);
  d.NewExtraItem("x", 8);
  EXPECT_EQ(d.ItemNumber, 1);  // extra items are not counted
  d.AdvanceExtra(3);
  EXPECT_EQ(d.TotalPosition, 4);  // nor added to the batch
  EXPECT_EQ(d.ItemPosition, 3u);
  d.Advance(0xFFFFFFFFu);
  EXPECT_EQ(d.TotalPosition, 4 + 0xFFFFFFFFLL);
  d.SetItemProgress(77);
  d.EndBatch();
  EXPECT_EQ(d.Action, ptEndOfBatch);
  EXPECT_EQ(d.ItemProgress, 77);
  d.Clear();
  EXPECT_EQ(d.TotalCount, 0);
  EXPECT_EQ(d.TotalPosition, 0);
  EXPECT_EQ(d.ItemProgress, 0);
  EXPECT_EQ(d.Action, ptEndOfBatch);
}

TEST(ZBCore, ConstructionAndReset) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  EXPECT_EQ(core.ErrCode, -1);
  EXPECT_TRUE(core.Unattended);
  EXPECT_FALSE(core.Verbose || core.Trace || core.Active || core.Busy || core.Cancel || core.OffMainThread);
  EXPECT_EQ(core.Builder, &owner);
  EXPECT_EQ(core.CursorDepth, 0);
  ASSERT_NE(core.Details, nullptr);
  EXPECT_EQ(core.Details->TotalCount, 0);

  core.Reentered = core.Cancel = core.Verbose = core.Trace = core.Closing = true;
  core.ErrCode = 5;
  core.LastMessageCode = 7;
  core.ErrText = "x";
  core.FailedEventName = "y";
  core.Details->SetCount(3);
  core.Reset();
  EXPECT_FALSE(core.Reentered || core.Cancel || core.Verbose || core.Trace || core.Closing || core.Unattended);
  EXPECT_EQ(core.ErrCode, 0);
  EXPECT_EQ(core.LastMessageCode, 0);
  EXPECT_TRUE(core.ErrText.IsEmpty());
  EXPECT_TRUE(core.FailedEventName.IsEmpty());
  EXPECT_EQ(core.Details->TotalCount, 0);
  EXPECT_EQ(ZipMsgLanguageInfo(0).str(), "US: default");
}

// Boxes are caught by an OnZipDialog handler that answers OK.
class ZBCoreBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    core.Events()->OnZipDialog = [this](TObject*, const AnsiString& title, AnsiString& msg, int& context,
                                        TMsgDlgButtons buttons) {
      boxes.push_back(title.str() + "|" + msg.str() + "|" + std::to_string(context) + "|" +
                      (buttons == (TMsgDlgButtons() << mbOK) ? "OK" : "other"));
      context = mrOk;
    };
    core.Events()->OnMessage = [this](TObject*, int code, const AnsiString& msg) {
      messages.push_back(std::to_string(code) + "|" + msg.str());
    };
  }
  TComponent owner{nullptr};
  TZBCore core{&owner};
  std::vector<std::string> boxes, messages;
};

TEST_F(ZBCoreBoxes, ReportError) {
  const std::string title = Application->Title.get().str();
  core.Unattended = false;
  core.ReportError(EZipBuilder::CreateFromIdStr(11051, "E:\\"));
  EXPECT_EQ(core.ErrCode, 11051);
  EXPECT_EQ(core.ErrText.str(), "Cannot write to E:\\");
  EXPECT_EQ(boxes, (std::vector<std::string>{title + "|Cannot write to E:\\|" + std::to_string(0x110000 + 10001) + "|OK"}));
  EXPECT_EQ(messages, (std::vector<std::string>{"11051|Cannot write to E:\\"}));

  boxes.clear();
  messages.clear();
  core.ReportError(EZipAbort());  // a cancellation shows no box
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(core.ErrCode, 11007);
  EXPECT_EQ(messages, (std::vector<std::string>{"11007|User canceled operation"}));

  messages.clear();
  core.Unattended = true;
  core.ReportError(EZipBuilder::Create("plain"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(core.ErrCode, 11049);
  EXPECT_EQ(messages, (std::vector<std::string>{"11049|plain"}));
}

TEST_F(ZBCoreBoxes, ShowZipMessage) {
  core.Unattended = false;
  core.ShowZipMessage(10203, "!");
  EXPECT_EQ(core.ErrCode, 10203);
  EXPECT_EQ(core.ErrText.str(), "Warning - Error in zip structure!!");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("|" + std::to_string(0x120000 + 10000) + "|"), std::string::npos);
  EXPECT_EQ(messages, (std::vector<std::string>{"10203|Warning - Error in zip structure!!"}));

  core.Unattended = true;
  core.ShowZipMessage(10230, "");  // unattended: no box, the notice still goes out
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(core.ErrCode, 10230);
  EXPECT_EQ(messages.back(), "10230|Resource missing for 10230");

  core.Events()->OnMessage = nullptr;
  core.ShowZipMessage(10204, "");  // unattended and nobody listening: nothing at all
  EXPECT_EQ(core.ErrCode, 10230);
  EXPECT_EQ(core.ErrText.str(), "Resource missing for 10230");
}

TEST_F(ZBCoreBoxes, ReentryIsNoticedAndReportedWhenVerbose) {
  core.ReportReentry(&owner);
  EXPECT_TRUE(core.Reentered);
  EXPECT_TRUE(messages.empty());
  core.Verbose = true;
  core.ReportReentry(&owner);
  EXPECT_EQ(messages, (std::vector<std::string>{"0|Re-entry"}));
  core.Start();
  EXPECT_FALSE(core.Reentered);
  EXPECT_TRUE(core.Busy);
  core.Done();
  EXPECT_FALSE(core.Busy);
}

TEST(ZBCoreTemp, SetTempDirTakesOnlyFixedAndRamDrives) {
  ZipTestDrives drives;
  TComponent owner(nullptr);
  TZBCore core(&owner);
  core.SetTempDir("T:\\tmp");
  EXPECT_EQ(core.TempDir.str(), "T:\\tmp");
  core.SetTempDir("R:\\");
  EXPECT_EQ(core.TempDir.str(), "R:\\");
  struct Refused {
    const char* folder;
    const char* root;
  };
  for (const Refused& r : {Refused{"E:\\tmp", "E:\\"}, Refused{"N:\\share\\tmp", "N:\\"}, Refused{"Q:\\x", "Q:\\"}}) {
    try {
      core.SetTempDir(r.folder);
      ADD_FAILURE() << r.folder << " was accepted";
    } catch (const EZipBuilder& e) {
      EXPECT_EQ(e.MessageId, 11051);
      EXPECT_EQ(e.Message.str(), std::string("Cannot write to ") + r.root);
      EXPECT_TRUE(e.ShowBox);
    }
    EXPECT_EQ(core.TempDir.str(), "R:\\");
  }
  core.SetTempDir("");
  EXPECT_TRUE(core.TempDir.IsEmpty());
}

TEST(ZBCoreTemp, MakeTempFileName) {
  ZipTestDrives drives;
  std::filesystem::create_directories(drives.Fixed("tmp"));
  TComponent owner(nullptr);
  TZBCore core(&owner);
  core.TempDir = "T:\\tmp";
  AnsiString name = core.MakeTempFileName("", "");
  EXPECT_EQ(core.TempDir.str(), "T:\\tmp\\");  // rewritten with its delimiter
  EXPECT_EQ(name.Pos("T:\\tmp\\zip"), 1) << name.str();
  EXPECT_EQ(ExtractFileExt(name).str(), ".zip");
  EXPECT_FALSE(FileExists(name));  // free, not reserved

  AnsiString dll = core.MakeTempFileName("ZE_", ".dll");
  EXPECT_EQ(dll.Pos("T:\\tmp\\ZE_"), 1) << dll.str();
  EXPECT_EQ(ExtractFileExt(dll).str(), ".dll");
  EXPECT_NE(dll, name);
  EXPECT_TRUE(std::filesystem::is_empty(drives.Fixed("tmp")));

  core.TempDir = "T:\\missing";
  EXPECT_TRUE(core.MakeTempFileName("", "").IsEmpty());

  core.TempDir = "";
  AnsiString system = core.MakeTempFileName("", "");
  EXPECT_FALSE(system.IsEmpty());
  EXPECT_EQ(ExtractFileExt(system).str(), ".zip");
}

TEST(ZBCoreCursor, NestedWaitCursorsAndDone) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  Screen->Cursor = crDefault;
  core.StartWaitCursor();
  core.StartWaitCursor();
  EXPECT_EQ(TCursor(Screen->Cursor), crHourGlass);
  core.StopWaitCursor();
  EXPECT_EQ(TCursor(Screen->Cursor), crHourGlass);
  core.StopWaitCursor();
  EXPECT_EQ(TCursor(Screen->Cursor), crDefault);
  core.StopWaitCursor();  // depth 0: nothing
  EXPECT_EQ(core.CursorDepth, 0);

  core.StartWaitCursor();
  core.StartWaitCursor();
  core.StartWaitCursor();
  core.Done();  // whatever the depth
  EXPECT_EQ(core.CursorDepth, 0);
  EXPECT_EQ(TCursor(Screen->Cursor), crDefault);
}

TEST(ZBCoreCursor, OffTheMainThreadTheCursorIsLeftAlone) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  std::thread([&core] { core.Start(); }).join();
  EXPECT_TRUE(core.OffMainThread);
  Screen->Cursor = crDefault;
  core.StartWaitCursor();
  EXPECT_EQ(core.CursorDepth, 0);
  EXPECT_EQ(TCursor(Screen->Cursor), crDefault);
  core.Done();
  core.Start();
  EXPECT_TRUE(core.OffMainThread);  // never cleared by a later start
}

}  // namespace
