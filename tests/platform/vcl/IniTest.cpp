// INI text: the in-memory object's reading rules, writing and the atomic update; the
// profile-function object.
#include <signal.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "IniFiles.h"
#include "VclDrive.h"
#include "TestLists.h"
#include "WriterProcesses.h"

namespace {

std::unique_ptr<TMemIniFile> FromText(const std::string& text) {
  auto ini = std::make_unique<TMemIniFile>("");
  TStringList lines;
  lines.SetText(AnsiString(text));
  ini->SetStrings(&lines);
  return ini;
}

struct ReadCase {
  const char* what;
  std::string text;
  const char *section, *key;
  std::string value;  // "<default>" when the default comes back
};

TEST(MemIniRules, ReadString) {
  const ReadCase cases[] = {
      {"plain", "[S]\nk=v", "S", "k", "v"},
      {"blanks around = and the line", "  [S]  \n\t k  =  v w \t", "S", "k", "v w"},
      {"blanks inside the brackets", "[ S ]\nk=v", "S", "k", "v"},
      {"section name without case", "[Env]\nk=v", "ENV", "k", "v"},
      {"key name without case", "[S]\nRoot_Url=v", "s", "ROOT_URL", "v"},
      {"empty value", "[S]\nk=", "S", "k", ""},
      {"missing key", "[S]\nk=v", "S", "x", "<default>"},
      {"missing section", "[S]\nk=v", "T", "k", "<default>"},
      {"last key wins", "[S]\nk=1\nK=2", "S", "k", "2"},
      {"last section wins", "[S]\nk=1\n[T]\n[s]\nk=2", "S", "k", "2"},
      {"the last section hides keys of the earlier one", "[S]\nonly=1\n[S]\nk=2", "S", "only", "<default>"},
      {"comment line", "[S]\n;k=1\n  ;x=2", "S", ";k", "<default>"},
      {"comment only at the start", "[S]\nk=v;not a comment", "S", "k", "v;not a comment"},
      {"lines before the first section", "k=early\n[S]\nk2=v", "S", "k", "<default>"},
      {"line without = is no entry", "[S]\njunk\nk=v", "S", "junk", "<default>"},
      {"= in the value", "[S]\nurl=a?b=c", "S", "url", "a?b=c"},
      {"empty key", "[S]\n=v", "S", "", "v"},
      {"CR LF and bare CR", "[S]\r\na=1\rb=2\r\n", "S", "b", "2"},
      {"zero byte ends the text", std::string("[S]\nk=v\0\n[T]\nx=1", 17), "T", "x", "<default>"},
      {"bracket line needs both brackets", "[S]\n[T\nk=v", "S", "k", "v"},
      {"Korean names and values", "[\xB8\xF0\xB5\xA8]\n\xC0\xCC\xB8\xA7=\xB0\xAA", "\xB8\xF0\xB5\xA8",
       "\xC0\xCC\xB8\xA7", "\xB0\xAA"},
      {"garbage bytes stay a line of their own", "[S]\n\x01\xFF\xFE\x80garbage\nk=v", "S", "k", "v"},
  };
  for (const ReadCase& c : cases) {
    auto ini = FromText(c.text);
    EXPECT_EQ(ini->ReadString(c.section, c.key, "<default>").str(), c.value) << c.what;
  }
}

struct IntCase {
  const char* value;
  int expected;  // -7 = the default
};

TEST(MemIniRules, ReadIntegerAndBool) {
  const IntCase cases[] = {
      {"12", 12},       {"-3", -3},       {"0x10", 16},      {"0XfF", 255}, {"0xFFFFFFFF", -1},
      {"$20", 32},      {"0x", -7},       {"0xg", -7},       {"12abc", -7}, {"abc", -7},
      {"", -7},         {"1.5", -7},      {"99999999999", -7}, {"007", 7},
  };
  for (const IntCase& c : cases) {
    auto ini = FromText(std::string("[S]\nk=") + c.value);
    EXPECT_EQ(ini->ReadInteger("S", "k", -7), c.expected) << "'" << c.value << "'";
    EXPECT_EQ(ini->ReadBool("S", "k", true), c.expected != 0) << "'" << c.value << "'";
  }
  auto ini = FromText("[S]\nzero=0\nnone=x");
  EXPECT_FALSE(ini->ReadBool("S", "zero", true));
  EXPECT_TRUE(ini->ReadBool("S", "none", true)) << "no number: the default";
  EXPECT_FALSE(ini->ReadBool("S", "missing", false));
}

TEST(MemIniRules, SectionsAndKeysInFileOrderEachOnce) {
  auto ini = FromText("x=1\n[FILE_2]\nB=1\na=2\nb=3\njunk\n[env]\n[FILE_1]\nz=0\n[ENV]\nq=1");
  TStringList list;
  ini->ReadSections(&list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"FILE_2", "env", "FILE_1"}));
  ini->ReadSection("file_2", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"B", "a"}));
  ini->ReadSectionValues("FILE_2", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"B=3", "a=2"}));
  ini->ReadSection("ENV", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"q"}));
  ini->ReadSection("none", &list);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(ini->SectionExists("Env"));
  EXPECT_FALSE(ini->SectionExists("x"));
  EXPECT_TRUE(ini->ValueExists("FILE_1", "Z"));
  EXPECT_FALSE(ini->ValueExists("FILE_1", "junk"));
}

TEST(MemIniWrite, WriteEraseDeleteAndText) {
  auto ini = FromText("[A]\nk=1\nK=2\n[B]\nx=1\n[a]\nm=3");
  ini->WriteString("a", "M", "new");
  ini->WriteInteger("NEW", "n", -5);
  ini->WriteBool("NEW", "flag", true);
  ini->WriteBool("NEW", "off", false);
  EXPECT_EQ(ini->ReadString("A", "m", ""), "new");
  EXPECT_EQ(ini->ReadInteger("new", "N", 0), -5);
  EXPECT_EQ(ini->ReadString("NEW", "flag", ""), "1");
  EXPECT_EQ(ini->ReadString("NEW", "off", ""), "0");
  TStringList text;
  ini->GetStrings(&text);
  EXPECT_EQ(text.Text(), "[A]\r\nk=1\r\nK=2\r\n\r\n[B]\r\nx=1\r\n\r\n[a]\r\nM=new\r\n\r\n[NEW]\r\nn=-5\r\nflag=1\r\noff=0\r\n\r\n");

  ini->DeleteKey("b", "X");
  EXPECT_FALSE(ini->ValueExists("B", "x"));
  EXPECT_TRUE(ini->SectionExists("B")) << "an empty section stays";
  ini->EraseSection("A");
  EXPECT_FALSE(ini->SectionExists("a")) << "every section of the name goes, no older copy shows through";
  EXPECT_EQ(ini->ReadString("A", "k", "gone"), "gone");
  ini->Clear();
  ini->ReadSections(&text);
  EXPECT_EQ(text.Count(), 0);
}

// Keys and sections are found through indexes: every change that moves or removes lines must
// leave reads, lists and writes as a scan of the lines would give them.
TEST(MemIniWrite, LookupsFollowEveryChange) {
  auto ini = FromText("[S]\na=1\nb=2\nA=3\nc=4\nb=5");
  TStringList list;
  ini->DeleteKey("S", "a");  // both entries go; the later lines move up
  ini->ReadSection("S", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(ini->ReadString("S", "b", ""), "5");
  EXPECT_EQ(ini->ReadString("S", "c", ""), "4");
  EXPECT_EQ(ini->ReadString("S", "a", "gone"), "gone");

  ini->WriteString("S", "A", "new");  // back at the end
  ini->WriteString("S", "B", "6");    // replaces the last entry of the name
  ini->ReadSection("S", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"b", "c", "A"}));
  EXPECT_EQ(ini->ReadString("s", "b", ""), "6");
  TStringList text;
  ini->GetStrings(&text);
  EXPECT_EQ(text.Text(), "[S]\r\nb=2\r\nc=4\r\nB=6\r\nA=new\r\n\r\n");
  ini->DeleteKey("S", "b");
  ini->ReadSectionValues("S", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"c=4", "A=new"}));

  auto twice = FromText("[S]\nk=1\n[T]\nt=1\n[s]\nk=2");
  twice->EraseSection("S");
  EXPECT_EQ(twice->ReadString("T", "t", ""), "1");
  twice->WriteString("s", "k", "3");  // a new section after T
  twice->ReadSections(&list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"T", "s"}));
  EXPECT_EQ(twice->ReadString("S", "k", ""), "3");
  twice->Clear();
  EXPECT_FALSE(twice->SectionExists("T"));
  twice->WriteString("T", "t", "4");
  EXPECT_EQ(twice->ReadString("T", "t", ""), "4");
}

using MemIniFiles = VclDrive;

TEST_F(MemIniFiles, ReadsAFileWhenPresentAndNothingWhenMissing) {
  TMemIniFile missing("C:\\none.ini");
  EXPECT_EQ(missing.ReadString("S", "k", "def"), "def");
  EXPECT_EQ(EntryCount(), 0u) << "opening writes nothing";
  Put(C("Movrant.ini"), "[UPDATE]\r\nURL=http://update.quorvex.example/pavo/_Movrant/\r\n");
  TMemIniFile ini(".\\MOVRANT.INI");
  EXPECT_EQ(ini.ReadString("update", "url", ""), "http://update.quorvex.example/pavo/_Movrant/");
  EXPECT_EQ(ini.FileName(), ".\\MOVRANT.INI");
}

TEST_F(MemIniFiles, FileCutShortOrWithGarbageReadsAsFarAsValid) {
  std::string text = "[FILE_1]\nAG_FILESIZE=100\nAG_FILECRC=-5\n[FILE_2]\nAG_FILESIZE=2";
  Put(C("cut.ini"), text);  // the last line has no line break
  TMemIniFile cut("C:\\cut.ini");
  EXPECT_EQ(cut.ReadInteger("FILE_2", "AG_FILESIZE", 0), 2);
  EXPECT_EQ(cut.ReadInteger("FILE_1", "AG_FILECRC", 0), -5);

  Put(C("garbage.ini"), "[FILE_1]\nAG_FILESIZE=100\n\xFF\xFE\x01\x02[[[===\n" + std::string("\0\0[FILE_2]\nk=1", 14));
  TMemIniFile garbage("C:\\garbage.ini");
  EXPECT_EQ(garbage.ReadInteger("FILE_1", "AG_FILESIZE", 0), 100);
  EXPECT_FALSE(garbage.SectionExists("FILE_2")) << "the text ends at the zero byte";

  Put(C("binary.ini"), std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
  TMemIniFile binary("C:\\binary.ini");
  TStringList sections;
  binary.ReadSections(&sections);
  EXPECT_EQ(sections.Count(), 0);
}

TEST_F(MemIniFiles, UpdateFileReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  Put(C("dest/__FILEINFO__.ini"), "[FILE_1]\nAG_FILESIZE=1\n");
  ino_t before = Inode(C("dest/__FILEINFO__.ini"));
  TMemIniFile rec("C:\\dest\\__FILEINFO__.ini");
  rec.WriteInteger("FILE_2", "AG_FILESIZE", 2048);
  rec.WriteInteger("FILE_2", "AG_FILECRC", -123);
  rec.UpdateFile();
  EXPECT_EQ(Get(C("dest/__FILEINFO__.ini")),
            "[FILE_1]\r\nAG_FILESIZE=1\r\n\r\n[FILE_2]\r\nAG_FILESIZE=2048\r\nAG_FILECRC=-123\r\n\r\n");
  EXPECT_NE(Inode(C("dest/__FILEINFO__.ini")), before) << "a new file renamed over the old one";
  EXPECT_EQ(EntryCount("dest"), 1u);
  TMemIniFile again("C:\\DEST\\__fileinfo__.ini");
  EXPECT_EQ(again.ReadInteger("FILE_2", "AG_FILECRC", 0), -123);

  // Another letter case names the same file: it is replaced, not doubled.
  TMemIniFile upper("C:\\DEST\\__FILEINFO__.INI");
  upper.EraseSection("FILE_1");
  upper.UpdateFile();
  EXPECT_EQ(EntryCount("dest"), 1u);
  EXPECT_EQ(Get(C("dest/__FILEINFO__.ini")), "[FILE_2]\r\nAG_FILESIZE=2048\r\nAG_FILECRC=-123\r\n\r\n");

  TMemIniFile fresh("C:\\dest\\new.ini");
  fresh.WriteString("S", "k", "\xB0\xAA");
  fresh.UpdateFile();
  EXPECT_EQ(Get(C("dest/new.ini")), "[S]\r\nk=\xB0\xAA\r\n\r\n");
}

TEST_F(MemIniFiles, UpdateFileFailureRaisesAndLosesNothing) {
  TMemIniFile nowhere("C:\\missing\\x.ini");
  nowhere.WriteString("S", "k", "v");
  EXPECT_THROW(nowhere.UpdateFile(), EFCreateError);
  EXPECT_EQ(EntryCount(), 0u);

  // The target name is taken by a folder: the rename fails, the folder and its content stay.
  Put(C("taken.ini/inside.txt"), "keep");
  TMemIniFile taken("C:\\taken.ini");
  taken.WriteString("S", "k", "v");
  EXPECT_THROW(taken.UpdateFile(), EFCreateError);
  EXPECT_EQ(Get(C("taken.ini/inside.txt")), "keep");
  EXPECT_EQ(EntryCount(), 1u) << "no temporary file is left";
  EXPECT_EQ(taken.ReadString("S", "k", ""), "v") << "the object keeps its values";
}

// The temporary file of an update names its writer: one that a killed writer left goes with
// the next update of that file; a running writer's stays.
TEST_F(MemIniFiles, UpdateFileRemovesTemporaryFilesOfEndedWriters) {
  testproc::RunningProcess running;
  ASSERT_GT(running.Id(), 0);
  const pid_t ended = testproc::EndedProcessId();
  ASSERT_GT(ended, 0);
  const std::string endedName = "rec.ini.tmp-" + std::to_string(ended) + "-2";
  const std::string runningName = "rec.ini.tmp-" + std::to_string(running.Id()) + "-1";
  const std::string otherName = "other.ini.tmp-" + std::to_string(ended) + "-1";
  for (const std::string& name : {endedName, runningName, otherName}) Put(C(name), std::string(4096, 'p'));
  TMemIniFile ini("C:\\rec.ini");
  ini.WriteString("S", "k", "v");
  ini.UpdateFile();
  EXPECT_EQ(Get(C("rec.ini")), "[S]\r\nk=v\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(C(endedName)));
  EXPECT_TRUE(std::filesystem::exists(C(runningName)));
  EXPECT_TRUE(std::filesystem::exists(C(otherName))) << "another file's writer is not looked at";
  EXPECT_EQ(EntryCount(), 3u) << "no temporary file of this update is left";
}

TEST_F(MemIniFiles, KilledWhileWritingLeavesTheOldOrTheNewFileWhole) {
  // Two versions of a large record file; a child rewrites it over and over until it is
  // killed, and the file on disk must then be exactly one of them.
  auto version = [](char fill) {
    TMemIniFile v("");
    for (int i = 0; i < 2000; ++i) v.WriteString("FILE_" + IntToStr(i), "AG_DATA", AnsiString(std::string(200, fill)));
    TStringList text;
    v.GetStrings(&text);
    return text.Text().str();
  };
  const std::string a = version('a'), b = version('b');
  Put(C("rec.ini"), a);
  for (int round = 0; round < 3; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TMemIniFile ini("C:\\rec.ini");
      TStringList text;
      for (int i = 0;; ++i) {
        text.SetText(AnsiString(i % 2 ? a : b));
        ini.SetStrings(&text);
        ini.UpdateFile();
      }
    }
    ino_t before = Inode(C("rec.ini"));
    // Wait until the child has replaced the file at least once, then kill it at some point.
    for (int i = 0; i < 500 && Inode(C("rec.ini")) == before; ++i) usleep(2000);
    EXPECT_NE(Inode(C("rec.ini")), before) << "the child never wrote";
    usleep(useconds_t(3000 + round * 7000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::string now = Get(C("rec.ini"));
    EXPECT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
  }
}

// ---------------------------------------------------------------- TIniFile

TEST_F(MemIniFiles, RenameWritesElsewhereAndReloadsOnRequest) {
  Put(C("one.ini"), "[S]\nk=1\n");
  Put(C("two.ini"), "[T]\nk=2\n");
  TMemIniFile ini("C:\\one.ini");
  ini.Rename("C:\\copy.ini", false);
  EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
  ini.UpdateFile();
  EXPECT_EQ(Get(C("copy.ini")), "[S]\r\nk=1\r\n\r\n");
  EXPECT_EQ(Get(C("one.ini")), "[S]\nk=1\n");
  ini.Rename("C:\\two.ini", true);
  EXPECT_FALSE(ini.SectionExists("S"));
  EXPECT_EQ(ini.ReadString("T", "k", ""), "2");
  EXPECT_EQ(ini.FileName(), "C:\\two.ini");
}

using ProfileIni = VclDrive;

TEST_F(ProfileIni, ReadsAndWritesThroughTheProfileFunctions) {
  Put(C("Movrant.inf"),
      "[FILE_MovrantPavo.exe]\r\nCAB=pkg/movrant.cab\r\nVERSION=1.0.0.10\r\nONETIME=1\r\n"
      "[DIRECTORY_HTML]\r\nCAB=html.cab\r\n[FORCE_DIRECTORY]\r\n1=HTML\r\n2=Data\r\n");
  TIniFile ini("C:\\Movrant.inf");
  TStringList list;
  ini.ReadSections(&list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"FILE_MovrantPavo.exe", "DIRECTORY_HTML", "FORCE_DIRECTORY"}));
  ini.ReadSection("FORCE_DIRECTORY", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"1", "2"}));
  ini.ReadSectionValues("force_directory", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"1=HTML", "2=Data"}));
  EXPECT_EQ(ini.ReadString("FILE_MovrantPavo.exe", "CAB", ""), "pkg/movrant.cab");
  EXPECT_EQ(ini.ReadString("FILE_MovrantPavo.exe", "COMMAND", "none"), "none");
  EXPECT_TRUE(ini.ReadBool("FILE_MovrantPavo.exe", "ONETIME", false));
  EXPECT_EQ(ini.ReadInteger("FILE_MovrantPavo.exe", "ONLYEXISTS", 0), 0);
  EXPECT_EQ(ini.ReadInteger("FILE_MovrantPavo.exe", "VERSION", -1), -1);
  EXPECT_TRUE(ini.SectionExists("DIRECTORY_HTML"));
  EXPECT_FALSE(ini.SectionExists("FILE_none"));

  ini.WriteString("NEW", "key", "\xB0\xAA");
  ini.WriteInteger("NEW", "n", 0x7fffffff);
  ini.UpdateFile();
  TMemIniFile check("C:\\Movrant.inf");
  EXPECT_EQ(check.ReadString("new", "KEY", ""), "\xB0\xAA");
  EXPECT_EQ(check.ReadInteger("NEW", "n", 0), 0x7fffffff);
  ini.DeleteKey("NEW", "key");
  EXPECT_FALSE(ini.ValueExists("NEW", "key"));
  ini.EraseSection("NEW");
  EXPECT_FALSE(ini.SectionExists("NEW"));
  EXPECT_EQ(TIniFile("C:\\none.inf").ReadString("S", "k", "d"), "d");
}

// Names that fill the buffer the list is first read into to one byte short, or any other
// length, are all listed.
TEST_F(ProfileIni, ListsOfAnyLengthAreReadWhole) {
  for (int width : {42, 43, 44}) {
    std::string text;
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i) {
      std::string name = "FILE_" + std::to_string(i);
      names.push_back(name + std::string(size_t(width) - name.size(), 'x'));
      text += "[" + names.back() + "]\r\nCAB=a.cab\r\n";
    }
    Put(C("long.inf"), text);
    TIniFile ini("C:\\long.inf");
    TStringList list;
    ini.ReadSections(&list);
    EXPECT_EQ(Items(list), names) << "names of " << width;
  }
}

}  // namespace
