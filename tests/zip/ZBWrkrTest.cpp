// Worker set-up: construction defaults, Clear, and the setters with rules of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Forms.h"
#include "ZBWrkr.h"

namespace {

AddStoreExts AllSuffixes() {
  AddStoreExts s;
  for (int e = assGIF; e <= assAVI; ++e) s << AddStoreSuffix(e);
  return s;
}

TEST(ZBWorker, DefaultStoreSuffixesHoldAllButExt) {
  AddStoreExts expected = AllSuffixes();
  expected >> assEXT;
  EXPECT_EQ(DefaultStoreSuffixes(), expected);
  EXPECT_FALSE(DefaultStoreSuffixes().Contains(assEXT));
  EXPECT_TRUE(DefaultStoreSuffixes().Contains(assAVI));
  EXPECT_TRUE(DefaultStoreSuffixes().Contains(assGIF));
}

TEST(ZBWorker, ConstructionDefaults) {
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  EXPECT_EQ(w.Builder, &owner);
  EXPECT_EQ(w.ErrCode, -1);
  EXPECT_FALSE(w.Unattended);
  EXPECT_FALSE(w.Active);
  EXPECT_EQ(w.AddCompLevel, 9);
  EXPECT_EQ(w.BufferSize, 65536);
  EXPECT_EQ(w.CodePage, cpAuto);
  EXPECT_TRUE(w.ConfirmErase);
  EXPECT_EQ(w.PasswordReqCount, 1u);
  EXPECT_EQ(w.MinFreeVolumeSize, 65536);
  EXPECT_EQ(w.HowToDelete, htdAllowUndo);
  EXPECT_EQ(w.AddStoreSuffixes, DefaultStoreSuffixes());
  EXPECT_TRUE(w.PendingOps.Empty());
  EXPECT_EQ(w.OwnerWindow, Application->Handle.get());
  ASSERT_NE(w.FSpecArgs, nullptr);
  ASSERT_NE(w.FSpecArgsExcl, nullptr);
  ASSERT_NE(w.ZipStream, nullptr);
  EXPECT_EQ(w.FSpecArgs->Count(), 0);
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(w.FileHandle, 0);
  EXPECT_EQ(w.LibraryName.str(), "ZBEngine.dll");
}

TEST(ZBWorker, SetPasswordReqCountCapsAt15) {
  struct Case {
    uint32_t n, stored;
  };
  const Case cases[] = {{0, 0}, {15, 15}, {16, 15}, {0xFFFFFFFFu, 15}, {1, 1}, {7, 7}};
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  for (const Case& c : cases) {
    w.SetPasswordReqCount(c.n);
    EXPECT_EQ(w.PasswordReqCount, c.stored) << c.n;
  }
}

TEST(ZBWorker, SetExtAddStoreSuffixes) {
  struct Case {
    const char* text;
    const char* list;
  };
  const Case cases[] = {
      {"gif,jpg", ".gif:.jpg:"},
      {".PNG;Txt", ".png:.txt:"},
      {",gif", ".:.gif:"},
      {":gif", ".:.gif:"},
      {"gif:", ".gif:"},
      {"gif", ".gif:"},
      {" gif", ". gif:"},
      {"a,,b", ".a:.:.b:"},
      {".", ".:"},
  };
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  for (const Case& c : cases) {
    w.AddStoreSuffixes = DefaultStoreSuffixes();
    w.SetExtAddStoreSuffixes(c.text);
    EXPECT_EQ(w.ExtSuffixList.str(), c.list) << c.text;
    EXPECT_TRUE(w.AddStoreSuffixes.Contains(assEXT)) << c.text;
  }
  w.SetExtAddStoreSuffixes("");
  EXPECT_TRUE(w.ExtSuffixList.IsEmpty());
  EXPECT_EQ(w.AddStoreSuffixes, DefaultStoreSuffixes());
}

TEST(ZBWorker, SetZipFileNameOnAnInactiveWorkerOnlyMarksTheReadPending) {
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  w.ZipContents.push_back(std::make_unique<ZipDirEntry>());
  w.ErrCode = 5;
  bool dirUpdate = false;
  w.Events()->OnDirUpdate = [&dirUpdate](TObject*) { dirUpdate = true; };
  w.SetZipFileName("C:\\data\\a.zip");
  EXPECT_EQ(w.ZipFileName.str(), "C:\\data\\a.zip");
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_TRUE(w.PendingOps.Contains(zpoDirRead));
  EXPECT_EQ(w.ErrCode, 0);
  EXPECT_EQ(w.FileHandle, -1);
  EXPECT_FALSE(dirUpdate);
}

TEST(ZBWorker, ClearRestoresTheDefaults) {
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  std::vector<std::string> events;
  w.Events()->OnMessage = [&events](TObject*, int, const AnsiString& m) { events.push_back(m.str()); };
  w.Events()->OnCheckTerminate = [&events](TObject*, bool&) { events.push_back("poll"); };

  w.ZipFileName = "x.zip";
  w.Password = "secret";
  w.PasswordReqCount = 9;
  w.SuccessCount = 4;
  w.AddCompLevel = 1;
  w.Unattended = w.Verbose = w.Trace = w.Cancel = w.Reentered = true;
  w.KeepFreeOnDisk1 = w.KeepFreeOnAllDisks = 7;
  w.MaxVolumeSize = 3;
  w.MinFreeVolumeSize = 1;
  w.CodePage = cpOEM;
  w.HardDrive = true;
  w.HowToDelete = htdFinal;
  w.AddStoreSuffixes = AllSuffixes();
  w.UseDirOnlyEntries = true;
  w.DroppedDirCount = 2;
  w.BufferSize = 10;
  w.SpanOptions << spWipeFiles;
  w.ConfirmErase = false;
  w.PendingOps << zpoDirRead << zpoCommentWrite;
  w.RealFileSize = w.CentralDirPos = w.FirstDataOffset = 11;
  w.ZipComment = "c";
  w.MultiPart = true;
  w.InEngineRun = true;
  w.FSpecArgs->Add("*.txt");
  w.FSpecArgsExcl->Add("*.bak");
  w.ZipContents.push_back(std::make_unique<ZipDirEntry>());
  w.ErrCode = 11002;
  w.ErrText = "err";
  // Left alone by Clear:
  w.ExtrBaseDir = "C:\\out";
  w.ExtrOptions << ExtrOverWrite;
  w.AddOptions << AddDiskSpanErase;
  w.RootDir = "C:\\root";
  w.TempDir = "C:\\tmp";
  w.DLLDirectory = "C:\\dll";
  w.Active = true;
  w.DriveRoot = "E:\\";

  w.Clear();

  EXPECT_TRUE(events.empty()) << "Clear runs with the core closed";
  EXPECT_FALSE(w.Closing);
  EXPECT_TRUE(w.ZipFileName.IsEmpty());
  EXPECT_TRUE(w.Password.IsEmpty());
  EXPECT_EQ(w.PasswordReqCount, 1u);
  EXPECT_EQ(w.SuccessCount, 0);
  EXPECT_EQ(w.AddCompLevel, 9);
  EXPECT_FALSE(w.Unattended || w.Verbose || w.Trace || w.Cancel || w.Reentered);
  EXPECT_EQ(w.KeepFreeOnDisk1, 0u);
  EXPECT_EQ(w.KeepFreeOnAllDisks, 0u);
  EXPECT_EQ(w.MaxVolumeSize, 0);
  EXPECT_EQ(w.MinFreeVolumeSize, 65536);
  EXPECT_EQ(w.CodePage, cpAuto);
  EXPECT_FALSE(w.HardDrive);
  EXPECT_EQ(w.HowToDelete, htdAllowUndo);
  EXPECT_EQ(w.AddStoreSuffixes, DefaultStoreSuffixes());
  EXPECT_FALSE(w.UseDirOnlyEntries);
  EXPECT_EQ(w.DroppedDirCount, 0);
  EXPECT_EQ(w.BufferSize, 65536);
  EXPECT_TRUE(w.SpanOptions.Empty());
  EXPECT_TRUE(w.ConfirmErase);
  EXPECT_TRUE(w.PendingOps.Empty());
  EXPECT_EQ(w.RealFileSize, 0u);
  EXPECT_EQ(w.CentralDirPos, 0u);
  EXPECT_EQ(w.FirstDataOffset, 0u);
  EXPECT_TRUE(w.ZipComment.IsEmpty());
  EXPECT_FALSE(w.MultiPart);
  EXPECT_FALSE(w.InEngineRun);
  EXPECT_EQ(w.FSpecArgs->Count(), 0);
  EXPECT_EQ(w.FSpecArgsExcl->Count(), 0);
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(w.ErrCode, 0);
  EXPECT_TRUE(w.ErrText.IsEmpty());

  EXPECT_EQ(w.ExtrBaseDir.str(), "C:\\out");
  EXPECT_TRUE(w.ExtrOptions.Contains(ExtrOverWrite));
  EXPECT_TRUE(w.AddOptions.Contains(AddDiskSpanErase));
  EXPECT_EQ(w.RootDir.str(), "C:\\root");
  EXPECT_EQ(w.TempDir.str(), "C:\\tmp");
  EXPECT_EQ(w.DLLDirectory.str(), "C:\\dll");
  EXPECT_TRUE(w.Active);
  EXPECT_EQ(w.DriveRoot.str(), "E:\\");
}

TEST(ZBWorker, CancelAndStart) {
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  w.SetCancel(true);
  EXPECT_TRUE(w.Cancel);
  w.SetCancel(false);
  EXPECT_FALSE(w.Cancel);
  w.Reentered = true;
  w.Start();
  EXPECT_TRUE(w.Busy);
  EXPECT_FALSE(w.Reentered);
}

}  // namespace
