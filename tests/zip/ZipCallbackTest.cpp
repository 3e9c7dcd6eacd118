// The engine callback: reports and events for every action, the replies written into the
// engine's record, passwords and prompts, failing handlers and the closing flag.
#include <gtest/gtest.h>

#include <cstring>

#include "ZipTestFiles.h"

using namespace ziptest;

namespace {

class CallbackTest : public ::testing::Test {
 protected:
  TComponent owner{nullptr};
  TZBWorker w{&owner};
  ZipCallbackRecord rec;
  std::string name;
  std::string data;
  std::vector<Message> messages;

  void SetUp() override {
    w.Unattended = true;
    RecordMessages(w.Events(), messages);
  }
  // A record as the engine fills it.
  ZipCallbackRecord& Record(int action, int arg = 0, const std::string& itemName = "") {
    std::memset(&rec, 0, sizeof rec);
    name = itemName;
    rec.ActionCode = action;
    rec.ErrorCode = arg;
    rec.FileName = name.c_str();
    return rec;
  }
  int Call() { return TZBWorker::DllCallback(&w, &rec); }
  std::string Reply() const { return std::string(rec.Reply, strnlen(rec.Reply, sizeof rec.Reply)); }
};

TEST_F(CallbackTest, CommandHandleIsKeptAndNothingElse) {
  int polls = 0;
  w.Events()->OnCheckTerminate = [&](TObject*, bool&) { ++polls; };
  Record(zacCommandHandle, 77);
  EXPECT_EQ(Call(), 0);
  EXPECT_EQ(w.CommandHandle, 77u);
  EXPECT_EQ(rec.ActionCode, zacCommandHandle);
  EXPECT_EQ(polls, 0);
}

TEST_F(CallbackTest, ProgressActionsBecomeReports) {
  std::vector<std::string> seen;
  w.Events()->OnProgress = [&](TObject*, ProgressType t, const AnsiString& f, long long size) {
    seen.push_back(std::to_string(int(t)) + " " + f.str() + " " + std::to_string(size));
  };
  Record(zacCount, -2);
  Call();
  Record(zacSize);
  rec.FileSize = 5000000000LL;
  Call();
  Record(zacItem, 0, "dir/file.txt");
  rec.FileSize = 1234;
  Call();
  Record(zacProgress);
  rec.FileSize = 34;
  Call();
  Record(zacEndOfBatch);
  Call();
  EXPECT_EQ(seen, (std::vector<std::string>{"3  -2", "4  5000000000", "0 dir\\file.txt 1234", "1  34", "2  0"}));
  EXPECT_EQ(w.Details->TotalSize, 5000000000LL);
  EXPECT_EQ(w.Details->ItemNumber, 1);
}

TEST_F(CallbackTest, ItemProgressOfAnAddOperation) {
  Record(zacItem, 0, "x");
  rec.IsOperationZip = 1;
  rec.Progress1 = 5;
  rec.Progress2 = 1;
  Call();
  EXPECT_EQ(w.Details->ItemProgress, (1LL << 32) + 5);
  Record(zacItem, 0, "y");
  rec.Progress1 = 9;
  Call();
  EXPECT_EQ(w.Details->ItemProgress, (1LL << 32) + 5);
}

TEST_F(CallbackTest, EngineMessagesSetTheError) {
  Record(zacMessage, 0x109, "a/b failed");
  Call();
  EXPECT_EQ(w.ErrCode, 9);
  EXPECT_EQ(w.LastMessageCode, 0x109);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 0x109);
  EXPECT_EQ(messages[0].text, "a\\b failed");
  Record(zacMessage, 0, "just a note");
  Call();
  EXPECT_EQ(w.ErrCode, 9);
}

TEST_F(CallbackTest, CancelFromAHandlerReachesTheEngine) {
  w.Events()->OnTotalProgress = [&](TObject*, long long, int) { w.Cancel = true; };
  Record(zacProgress);
  rec.FileSize = 10;
  EXPECT_EQ(Call(), ZB_CB_CANCEL);
}

TEST_F(CallbackTest, UnassignedHandlersGiveNoAnswer) {
  for (int action : {int(zacNewName), int(zacCRCError), int(zacOverwrite), int(zacComment), int(zacData),
                     int(zacExtName), 30, 63}) {
    Record(action, 1, "f.txt");
    EXPECT_EQ(Call(), 0);
    EXPECT_EQ(rec.ActionCode, action);
    EXPECT_EQ(rec.ErrorCode, 1);
  }
}

TEST_F(CallbackTest, PasswordRequests) {
  struct Case {
    const char* what;
    const char* password;
    TMsgDlgBtn act;
    uint32_t repeat;
    int code, count, result;
    const char* reply;
  };
  const Case cases[] = {
      {"answered", "secret", mbOK, 3, ZB_REPLY_YES, 3, 0, "secret"},
      {"repeat count capped", "secret", mbOK, 40, ZB_REPLY_YES, 15, 0, "secret"},
      {"no password", "", mbOK, 3, ZB_REPLY_NO, 0, 0, ""},
      {"cancel drops it", "secret", mbCancel, 3, ZB_REPLY_NO, 0, 0, ""},
      {"no to all", "", mbNoToAll, 3, ZB_REPLY_NO_TO_ALL, 0, 0, ""},
      {"abort", "", mbAbort, 3, ZB_REPLY_NO, 0, ZB_CB_CANCEL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    w.Cancel = false;
    bool askedForZip = true;
    std::string forFile;
    w.Events()->OnPasswordError = [&](TObject*, bool isZip, AnsiString& pw, const AnsiString& file, uint32_t& repeat,
                                      TMsgDlgBtn& act) {
      askedForZip = isZip;
      forFile = file.str();
      pw = c.password;
      repeat = c.repeat;
      act = c.act;
    };
    // High bits of the action code are ignored.
    Record(zacPassword | 0x40, 1, "dir/f.txt");
    EXPECT_EQ(Call(), c.result);
    EXPECT_EQ(rec.ActionCode, c.code);
    EXPECT_EQ(rec.ErrorCode, c.count);
    if (c.code == ZB_REPLY_YES) {
      EXPECT_EQ(Reply(), c.reply);
    }
    EXPECT_FALSE(askedForZip);
    EXPECT_EQ(forFile, "dir\\f.txt");
  }
}

TEST_F(CallbackTest, LongPasswordIsCut) {
  w.Events()->OnPasswordError = [](TObject*, bool, AnsiString& pw, const AnsiString&, uint32_t&, TMsgDlgBtn&) {
    pw = std::string(100, 'p').c_str();
  };
  Record(zacPassword, 1);
  Call();
  EXPECT_EQ(Reply(), std::string(81, 'p'));
}

TEST_F(CallbackTest, UnattendedPasswordRequestWithoutHandler) {
  Record(zacPassword, 5, "f.txt");
  EXPECT_EQ(Call(), 0);
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_NO);
  EXPECT_EQ(rec.ErrorCode, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 10151);
  EXPECT_EQ(messages[0].text, "Error - no extract password given");
}

TEST_F(CallbackTest, PasswordPromptsThroughTheDialog) {
  w.Unattended = false;
  std::vector<int> contexts;
  std::vector<std::string> answers = {"typed"};
  int answer = mrOk;
  w.Events()->OnZipDialog = [&](TObject*, const AnsiString& title, AnsiString& msg, int& context, TMsgDlgButtons btns) {
    if ((context & 0x1F0000) != 0x140000) {  // the mismatch notice
      context = mrOk;
      return;
    }
    contexts.push_back(context);
    EXPECT_EQ(title.str(), "Password");
    EXPECT_TRUE(btns.Contains(mbOK) && btns.Contains(mbCancel));
    msg = answers[(contexts.size() - 1) % answers.size()].c_str();
    context = answer;
  };

  Record(zacPassword, 2, "f.txt");
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_YES);
  EXPECT_EQ(Reply(), "typed");
  EXPECT_EQ(rec.ErrorCode, 2);
  EXPECT_EQ(contexts, std::vector<int>{0x140000 + 10003});

  struct Case {
    int dialogResult, code, callback;
  };
  const Case cases[] = {{mrCancel, ZB_REPLY_NO, 0}, {mrAll, ZB_REPLY_NO_TO_ALL, 0}, {mrIgnore, ZB_REPLY_NO, 1}};
  for (const Case& c : cases) {
    w.Cancel = false;
    answer = c.dialogResult;
    Record(zacPassword, 2, "f.txt");
    EXPECT_EQ(Call(), c.callback) << c.dialogResult;
    EXPECT_EQ(rec.ActionCode, c.code) << c.dialogResult;
  }

  // An add operation asks twice and wants both answers equal.
  w.Cancel = false;
  answer = mrOk;
  contexts.clear();
  answers = {"one", "one"};
  Record(zacPassword, 1, "f.txt");
  rec.IsOperationZip = 1;
  Call();
  EXPECT_EQ(contexts, (std::vector<int>{0x140000 + 10004, 0x140000 + 10005}));
  EXPECT_EQ(Reply(), "one");
  answers = {"one", "two"};
  Record(zacPassword, 1, "f.txt");
  rec.IsOperationZip = 1;
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_NO);
  EXPECT_TRUE(HasCode(messages, 10104));
}

TEST_F(CallbackTest, CrcErrorAndOverwriteQuestions) {
  uint32_t found = 0, expected = 0;
  bool extract = true;
  w.Events()->OnCRC32Error = [&](TObject*, const AnsiString&, uint32_t f, uint32_t e, bool& doExtract) {
    found = f;
    expected = e;
    EXPECT_TRUE(doExtract);
    doExtract = extract;
  };
  Record(zacCRCError, int32_t(0xDEADBEEF), "f");
  rec.Arg2 = 0x1234;
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_YES);
  EXPECT_EQ(found, 0xDEADBEEFu);
  EXPECT_EQ(expected, 0x1234u);
  extract = false;
  Record(zacCRCError, 1, "f");
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_NO_TO_ALL);

  struct Case {
    int wanted, arg3;
    bool isOlder, initial;
    bool answer;
    int code;
  };
  const Case cases[] = {{1, 1, true, true, true, ZB_REPLY_YES},
                        {0, 2, false, false, false, ZB_REPLY_NO},
                        {0, 1, true, false, true, ZB_REPLY_YES}};
  for (const Case& c : cases) {
    bool older = false, initial = false;
    int index = -1;
    w.Events()->OnExtractOverwrite = [&](TObject*, const AnsiString&, bool isOlder, bool& doOverwrite, int dirIndex) {
      older = isOlder;
      initial = doOverwrite;
      index = dirIndex;
      doOverwrite = c.answer;
    };
    Record(zacOverwrite, c.wanted, "f");
    rec.Arg2 = 7;
    rec.Arg3 = c.arg3;
    Call();
    EXPECT_EQ(older, c.isOlder);
    EXPECT_EQ(initial, c.initial);
    EXPECT_EQ(index, 7);
    EXPECT_EQ(rec.ActionCode, c.code);
  }
}

TEST_F(CallbackTest, SkippedEntries) {
  Record(zacSkipped, 0x305, "dir/f.txt");
  rec.Arg2 = zskUnsafeName + 1;
  Call();
  EXPECT_EQ(w.LastMessageCode, 0x305);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 10125);
  EXPECT_EQ(messages[0].text, "Skipped dir\\f.txt 5");
  EXPECT_EQ(rec.ActionCode, zacSkipped);

  UnZipSkipTypes type = zskFreshen;
  int error = -1;
  w.Events()->OnExtractSkipped = [&](TObject*, const AnsiString&, UnZipSkipTypes t, int e) {
    type = t;
    error = e;
  };
  messages.clear();
  Record(zacSkipped, 0x306, "f");
  rec.Arg2 = 0x100 + zskBadCRC + 1;
  Call();
  EXPECT_EQ(type, zskBadCRC);
  EXPECT_EQ(error, 6);
  EXPECT_TRUE(messages.empty());
}

TEST_F(CallbackTest, CommentAndExtraDataReplies) {
  std::string answer;
  w.Events()->OnFileComment = [&](TObject*, const AnsiString&, AnsiString& comment, bool& changed) {
    EXPECT_EQ(comment.str(), "old");
    comment = answer.c_str();
    changed = true;
  };
  data = "old";
  for (size_t len : {size_t(0), size_t(10), size_t(511), size_t(700)}) {
    answer = std::string(len, 'c');
    Record(zacComment, 0, "f");
    rec.Data = data.data();
    Call();
    EXPECT_EQ(rec.ActionCode, ZB_REPLY_YES);
    EXPECT_EQ(rec.ErrorCode, int(std::min<size_t>(len, 511)));
    EXPECT_EQ(Reply(), std::string(std::min<size_t>(len, 511), 'c'));
  }

  w.Events()->OnFileExtra = [&](TObject*, const AnsiString&, AnsiString& extra, bool& changed) {
    EXPECT_EQ(extra.str(), data.substr(0, 4));
    extra = AnsiString(answer.data(), int(answer.size()));
    changed = true;
  };
  data = "ABCDEFGH";
  answer = "tiny";
  Record(zacData, 4, "f");
  rec.Data = data.data();
  Call();
  EXPECT_EQ(rec.ErrorCode, 4);
  EXPECT_EQ(std::string(rec.Reply, 4), "tiny");
  answer = std::string(600, 'e');
  Record(zacData, 4, "f");
  rec.Data = data.data();
  Call();
  EXPECT_EQ(rec.ErrorCode, 600);
  ASSERT_EQ(rec.Data, w.ExtraDataBuffer.c_str());
  EXPECT_EQ(std::string(static_cast<const char*>(rec.Data), 600), answer);
}

TEST_F(CallbackTest, MemoryRequests) {
  Record(zacStream);
  rec.FileSize = 4096;
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_YES);
  EXPECT_EQ(rec.Data, w.ZipStream->Memory());
  EXPECT_EQ(w.ZipStream->Size(), 4096);
  Record(zacStream);
  rec.FileSize = -5;
  Call();
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_NO);
  EXPECT_EQ(rec.FileSize, 0);
}

TEST_F(CallbackTest, NameReplies) {
  AnsiString newName;
  w.Events()->OnSetExtName = [&](TObject*, AnsiString& n, bool& changed) {
    n = newName;
    changed = true;
  };
  struct Case {
    const char* from;
    const char* to;
    bool taken;
  };
  const Case cases[] = {{"a/b.txt", "c\\d.txt", true},
                        {"a/b.txt", "a\\b.txt", false},
                        {"a/b.txt", "folder\\", false},
                        {"dir/", "other\\", true},
                        {"dir/", "file.txt", false}};
  for (const Case& c : cases) {
    newName = c.to;
    Record(zacExtName, 0, c.from);
    Call();
    EXPECT_EQ(rec.ActionCode, c.taken ? ZB_REPLY_YES : zacExtName) << c.from << " -> " << c.to;
    if (c.taken) {
      EXPECT_EQ(Reply(), c.to);
    }
  }

  std::string addExt;
  w.Events()->OnSetNewName = [](TObject*, AnsiString& n, bool& changed) {
    n = "first";
    changed = true;
  };
  w.Events()->OnSetAddName = [&](TObject*, AnsiString& n, const AnsiString& ext, bool& changed) {
    addExt = ext.str() + "|" + n.str();
    n = "second";
    changed = true;
  };
  data = "ext/name";
  Record(zacNewName, 0, "orig/name");
  rec.Data = data.data();
  Call();
  EXPECT_EQ(addExt, "ext\\name|orig\\name");
  EXPECT_EQ(Reply(), "second");
  EXPECT_EQ(rec.ActionCode, ZB_REPLY_YES);
}

TEST_F(CallbackTest, FailingHandlerIsRecordedOnceAndStopsTheEngine) {
  w.Events()->OnExtractOverwrite = [](TObject*, const AnsiString&, bool, bool&, int) {
    throw Exception("boom");
  };
  w.Events()->OnCRC32Error = [](TObject*, const AnsiString&, uint32_t, uint32_t, bool&) {
    throw std::runtime_error("second");
  };
  Record(zacOverwrite, 1, "f");
  EXPECT_EQ(Call(), ZB_CB_HANDLER_FAILED);
  EXPECT_EQ(w.FailedEventName.str(), " #10 \"boom\"");
  EXPECT_TRUE(w.Cancel);
  Record(zacCRCError, 1, "f");
  EXPECT_EQ(Call(), ZB_CB_HANDLER_FAILED);
  EXPECT_EQ(w.FailedEventName.str(), " #10 \"boom\"");

  // The engine's message with code 9 then names the failed event.
  Record(zacMessage, 9, "engine text");
  Call();
  EXPECT_EQ(w.ErrText.str(), "Exception in Event  #10 \"boom\"");
}

TEST_F(CallbackTest, ClosingWorkerIgnoresTheEngine) {
  int events = 0;
  w.Events()->OnProgress = [&](TObject*, ProgressType, const AnsiString&, long long) { ++events; };
  w.Events()->OnCRC32Error = [&](TObject*, const AnsiString&, uint32_t, uint32_t, bool&) { ++events; };
  w.Closing = true;
  for (int action : {int(zacItem), int(zacCRCError), int(zacCommandHandle)}) {
    Record(action, 55, "f");
    EXPECT_EQ(Call(), 0);
    EXPECT_EQ(rec.ActionCode, action);
  }
  EXPECT_EQ(events, 0);
  EXPECT_EQ(w.CommandHandle, 0u);
}

}  // namespace
