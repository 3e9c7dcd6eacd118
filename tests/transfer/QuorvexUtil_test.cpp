#include "QuorvexUtil.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

#include "windows.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

// A temporary folder, as a Unix path and as the DOS path the helpers take.
class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/quorvexutil_XXXXXX";
    unix_ = mkdtemp(tmpl);
  }
  ~TempFolder() { fs::remove_all(unix_); }
  std::string Unix(const std::string& name = "") const { return name.empty() ? unix_ : unix_ + "/" + name; }
  AnsiString Dos(const std::string& name = "") const { return winplat::UnixToDos(Unix(name)); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Unix(name), std::ios::binary) << bytes;
  }

 private:
  std::string unix_;
};

struct TextCase {
  std::string input;
  std::string expected;
};

// ---------------------------------------------------------------- URL, path and text helpers

TEST(URLEncode, KeepsEncodesAndSpaces) {
  const TextCase cases[] = {
      {"a b%c~", "a+b%25c%7e"},
      {"!$&'()*-./:=?@_", "!$&'()*-./:=?@_"},
      {"http://trelm.quorvex.example/login.php?id=u1&pw=x", "http://trelm.quorvex.example/login.php?id=u1&pw=x"},
      {"AZaz09", "AZaz09"},
      {"\"#%+,;<>[\\]^`{|}~", "%22%23%25%2b%2c%3b%3c%3e%5b%5c%5d%5e%60%7b%7c%7d%7e"},
      {"\x01\x1f\x7f\x80\xff", "%01%1f%7f%80%ff"},
      {"완료", "%bf%cf%b7%e1"},  // two percent groups per double-byte character
      {"already%20encoded", "already%2520encoded"},
      {"", ""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(URLEncode(c.input).str(), c.expected) << c.input;
  EXPECT_EQ(URLEncode(AnsiString("ab\0cd", 5)).str(), "ab");  // up to the first zero byte
}

TEST(URLEncodeQueryValue, AlsoEncodesWhatWouldEndTheValue) {
  const TextCase cases[] = {
      {"demo1234&anything", "demo1234%26anything"},
      {"a=b?c", "a%3db%3fc"},
      {"id&D2=x", "id%26D2%3dx"},
      {"a b%c+", "a+b%25c%2b"},  // every other byte as URLEncode writes it
      {"완료!$'()*-./:@_", "%bf%cf%b7%e1!$'()*-./:@_"},
      {"", ""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(URLEncodeQueryValue(c.input).str(), c.expected) << c.input;
}

TEST(Backslashes, DoublesCollapseInOnePassAndSlashesReplace) {
  const TextCase cases[] = {
      {"C:\\\\dir\\\\file", "C:\\dir\\file"},
      {"a\\\\\\b", "a\\\\b"},    // three become two
      {"a\\\\\\\\b", "a\\\\b"},  // four become two
      {"\\\\server\\share", "\\server\\share"},
      {"plain", "plain"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(RemoveDoubleBackslash(c.input).str(), c.expected) << c.input;
  EXPECT_EQ(BackslashToSlash("\\a\\b\\\\c").str(), "/a/b//c");
}

TEST(GetURLFileName, NameAfterLastSlashWithoutQuery) {
  const TextCase cases[] = {
      {"http://h.example/dir/file.zip", "file.zip"},
      {"http://h.example/dir/file.zip?x=1&y=2", "file.zip"},
      {"http://h.example/dir/f.zip?a?b", "f.zip?a"},  // the last "?" ends the name
      {"file.zip", "file.zip"},
      {"file.zip?v=2", "file.zip"},
      {"http://h.example/dir/", ""},
      {"http://h.example/get?path=a/b.zip", ""},  // the "?" stands before the last "/"
      {"", ""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(GetURLFileName(c.input).str(), c.expected) << c.input;
}

TEST(GetURLPath, TextBeforeLastSlash) {
  const TextCase cases[] = {
      {"http://h.example/dir/Movrant.inf", "http://h.example/dir"},
      {"http://h.example/dir/", "http://h.example/dir"},
      {"nofolder", "nofolder"},
      {"/root", ""},
      {"", ""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(GetURLPath(c.input).str(), c.expected) << c.input;
}

TEST(FormatStr, PrintfIntoText) {
  EXPECT_EQ(FormatStr("%s\\%s%03d.ZIP", "C:\\d", "MAP", 7).str(), "C:\\d\\MAP007.ZIP");
  EXPECT_EQ(FormatStr("%d", -12).str(), "-12");
}

TEST(SplitAtFirst, SplitsAtTheFirstSeparator) {
  const struct {
    std::string text, separator;
    bool found;
    std::string left, right;
  } cases[] = {
      {"FILE_Movrant_exe", "_", true, "FILE", "Movrant_exe"},
      {"_x", "_", true, "", "x"},
      {"x_", "_", true, "x", ""},
      {"a::b", "::", true, "a", ":b"},  // right starts one character after the separator starts
      {"abc", "_", false, "keep", "keep"},
  };
  for (const auto& c : cases) {
    AnsiString left = "keep", right = "keep";
    EXPECT_EQ(SplitAtFirst(c.text, c.separator, left, right), c.found) << c.text;
    EXPECT_EQ(left.str(), c.left) << c.text;
    EXPECT_EQ(right.str(), c.right) << c.text;
  }
}

TEST(VersionToNumber, ShiftsEachItemInByEightBits) {
  const struct {
    std::string text;
    unsigned int expected;
  } cases[] = {
      {"1.2.3.4", 0x01020304u},
      {"1.0.0.10", 0x0100000Au},
      {"", 0u},
      {"7", 7u},
      {"1.0.256", 0x00010100u},    // an item above 255 carries into the next byte
      {"1.2.3.4.5", 0x02030405u},  // the first items shift out
      {"1..2", 0x00010002u},       // an empty item counts
      {"1 2", 0x00000102u},        // blanks separate items too
      {"x.5", 5u},
      {"1.-1", 0x000000FFu},       // no masking: -1 is added as 0xFFFFFFFF
      {"300.1", 0x00012C01u},
  };
  for (const auto& c : cases) EXPECT_EQ(VersionToNumber(c.text), c.expected) << c.text;
  EXPECT_GT(VersionToNumber("1.0.0.10"), VersionToNumber("1.0.0.9"));
  EXPECT_EQ(VersionToNumber("1.0.256"), VersionToNumber("1.1.0"));
}

TEST(PathJoin, JoinsCollapsesUnquotesAndExpands) {
  const struct {
    std::string name, folder, expected;
  } cases[] = {
      {"b.ini", "C:\\dir", "C:\\dir\\b.ini"},
      {"b.ini", "C:\\dir\\", "C:\\dir\\b.ini"},
      {"\"b.ini\"", "C:\\dir", "C:\\dir\\b.ini"},
      {"sub\\b.ini", "\"C:\\my dir\"", "C:\\my dir\\sub\\b.ini"},
      {"..\\b.ini", "C:\\dir\\x", "C:\\dir\\b.ini"},
      {"\\\\b.ini", "C:\\dir", "C:\\dir\\b.ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(PathJoin(c.name, c.folder).str(), c.expected) << c.name << " in " << c.folder;
  // an empty folder resolves the name against the current directory
  EXPECT_EQ(PathJoin("b.ini", "").str(), IncludeTrailingBackslash(GetCurrentDir()).str() + "b.ini");
  EXPECT_EQ(PathJoin("\"b.ini\"", "").str(), IncludeTrailingBackslash(GetCurrentDir()).str() + "b.ini");
}

TEST(OpenIniIn, OpensExistingOrCreatesOnRequest) {
  TempFolder dir;
  dir.Write("present.ini", "[A]\nkey=value\n");

  std::unique_ptr<TMemIniFile> present(OpenIniIn("present.ini", dir.Dos(), false));
  ASSERT_NE(present, nullptr);
  EXPECT_EQ(present->ReadString("A", "KEY", "").str(), "value");

  EXPECT_EQ(OpenIniIn("missing.ini", dir.Dos(), false), nullptr);

  std::unique_ptr<TMemIniFile> created(OpenIniIn("\"missing.ini\"", dir.Dos() + "\\", true));
  ASSERT_NE(created, nullptr);
  std::unique_ptr<TStringList> sections(new TStringList);
  created->ReadSections(sections.get());
  EXPECT_EQ(sections->Count(), 0);
  EXPECT_FALSE(fs::exists(dir.Unix("missing.ini")));  // opening writes nothing

  // A file that cannot be read while another handle holds it: the failed construction is null.
  int lock = FileOpen(dir.Dos("present.ini"), fmOpenRead | fmShareExclusive);
  ASSERT_GE(lock, 0);
  for (bool create : {false, true}) EXPECT_EQ(OpenIniIn("present.ini", dir.Dos(), create), nullptr) << create;
  FileClose(lock);
}

TEST(GetFileVersionString, ReadsOurRecordAndNothingElse) {
  char self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  TempFolder dir;
  dir.Write("notes.txt", "FileVersion=9.9.9.9\n");

  const struct {
    AnsiString file, value;
    std::string expected;
  } cases[] = {
      {self, "FileVersion", "1.0.2.3"},
      {self, "FileDescription", "전송 시험"},
      {self, "NoSuchValue", ""},
      {dir.Dos("notes.txt"), "FileVersion", ""},
      {dir.Dos("absent.exe"), "FileVersion", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFileVersionString(c.file, c.value).str(), c.expected) << c.file.str();
  EXPECT_EQ(VersionToNumber(GetFileVersionString(self, "FileVersion")), 0x01000203u);
  EXPECT_EQ(VersionToNumber(GetFileVersionString(dir.Dos("notes.txt"), "FileVersion")), 0u);
}

TEST(GetTempDirectory, EndsInBackslash) {
  AnsiString temp = GetTempDirectory();
  ASSERT_GT(temp.Length(), 0);
  EXPECT_EQ(temp[temp.Length()], '\\');
  EXPECT_TRUE(DirectoryExists(temp));
}

TEST(GetTempDirectory, FallsBackToTheQuorvexFolderWithoutASystemOne) {
  // Only a removable drive, and no temporary folder on it: the system has no temporary path.
  TempFolder dir;
  fs::create_directories(dir.Unix("e"));
  const std::string table = "E=" + dir.Unix("e") + ",removable,NAVI";
  const char* tmpdir = getenv("TMPDIR");
  const std::string savedTmpdir = tmpdir ? tmpdir : "";
  setenv("WINPLAT_DRIVES", table.c_str(), 1);
  unsetenv("TMPDIR");
  winplat::ReloadDrives();
  char buffer[1024];
  EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 0u);
  EXPECT_EQ(GetTempDirectory().str(), "C:\\Quorvex\\");
  unsetenv("WINPLAT_DRIVES");
  if (tmpdir) setenv("TMPDIR", savedTmpdir.c_str(), 1);
  winplat::ReloadDrives();
}

// ---------------------------------------------------------------- size text

TEST(FormatSize, EveryThreshold) {
  const struct {
    long long size;
    std::string expected;
  } cases[] = {
      {0, "0 B"},
      {1, "1 B"},
      {1023, "1,023 B"},
      {1024, "1,024 B"},
      {1025, "1 KB"},
      {1536, "1.5 KB"},
      {1048576, "1,024 KB"},
      {1048577, "1 MB"},
      {1572864, "1.5 MB"},
      {10485760, "10 MB"},
      {10485761, "10 MB"},
      {15728640, "15 MB"},
      {16252929, "16 MB"},  // 15.5 MB and a byte: no decimal above 10 MB
      {1073741824, "1,024 MB"},
      {1073741825, "1 GB"},
      {1610612736, "1.5 GB"},
      {1099511627776LL, "1,024 GB"},
      {1325606222430208LL, "1,234,567 GB"},
      {-5, "-5 B"},
      {-1048577, "-1,048,577 B"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.size).str(), c.expected) << c.size;
}

// ---------------------------------------------------------------- settings macros

struct MapDeleter {
  void operator()(TMacroMap* map) const { FreeMacroMap(map); }
};
using MacroMapPtr = std::unique_ptr<TMacroMap, MapDeleter>;

TEST(MacroMap, NamesOnceIgnoringCaseFirstValueStays) {
  MacroMapPtr map(CreateMacroMap());
  EXPECT_EQ(MacroMapAdd(map.get(), "ROOT", "C:\\nav"), 0);
  EXPECT_EQ(MacroMapAdd(map.get(), "DATA", "D"), 1);
  EXPECT_EQ(MacroMapAdd(map.get(), "root", "X:\\other"), -1);
  EXPECT_EQ(MacroMapIndexOf(map.get(), "Data"), 1);
  EXPECT_EQ(MacroMapIndexOf(map.get(), "NONE"), -1);

  bool found = false;
  EXPECT_EQ(MacroMapLookup(map.get(), "Root", found).str(), "C:\\nav");
  EXPECT_TRUE(found);
  EXPECT_EQ(MacroMapLookup(map.get(), "NONE", found).str(), "");
  EXPECT_FALSE(found);

  EXPECT_EQ(MacroMapName(map.get(), 0).str(), "ROOT");
  EXPECT_EQ(MacroMapName(map.get(), 2).str(), "");
  EXPECT_EQ(MacroMapName(map.get(), -1).str(), "");

  ClearMacroMap(map.get());
  EXPECT_EQ(map->Items->Count(), 0);
  EXPECT_EQ(MacroMapAdd(map.get(), "root", "again"), 0);
}

TEST(ExpandMacros, OnePassInMapOrderCaseSensitiveTokens) {
  MacroMapPtr map(CreateMacroMap());
  MacroMapAdd(map.get(), "ROOT", "C:\\nav");
  MacroMapAdd(map.get(), "DATA", "$VER$\\$ROOT$\\data");
  MacroMapAdd(map.get(), "VER", "1.0");
  const TextCase cases[] = {
      {"no macro", "no macro"},
      {"$ROOT$\\x", "C:\\nav\\x"},
      {"$ROOT$-$ROOT$", "C:\\nav-C:\\nav"},
      {"$root$\\x", "$root$\\x"},        // another letter case is not the token
      {"$UNKNOWN$\\x", "$UNKNOWN$\\x"},
      {"$5 price", "$5 price"},
      {"$DATA$", "1.0\\$ROOT$\\data"},    // ROOT comes before DATA: its token stays
      {"$VER$", "1.0"},
      {"$$ROOT$$", "$C:\\nav$"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(ExpandMacros(map.get(), c.input).str(), c.expected) << c.input;
}

TEST(ExpandIniMacros, EnvironmentKeysExpandEveryValueInMemory) {
  TempFolder dir;
  const std::string text =
      "[ENVIRONMENT]\n"
      "DATA=$ROOT$\\data\n"  // uses a macro defined below it
      "ROOT=C:\\nav\n"
      "BIN=$ROOT$\\bin\n"
      "[FILE_1]\n"
      "DEST=$BIN$\\x\n"
      "SRC=$DATA$\n"
      "LOW=$root$\n"
      "PLAIN=nothing\n";
  dir.Write("model.ini", text);
  std::unique_ptr<TMemIniFile> ini(new TMemIniFile(dir.Dos("model.ini")));
  MacroMapPtr map(CreateMacroMap());
  ExpandIniMacros(map.get(), ini.get(), "ENVIRONMENT");

  bool found = false;
  EXPECT_EQ(MacroMapLookup(map.get(), "DATA", found).str(), "$ROOT$\\data");
  EXPECT_EQ(MacroMapLookup(map.get(), "BIN", found).str(), "C:\\nav\\bin");

  const struct {
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"ENVIRONMENT", "DATA", "C:\\nav\\data"},  // the macro section is rewritten too
      {"ENVIRONMENT", "BIN", "C:\\nav\\bin"},
      {"FILE_1", "DEST", "C:\\nav\\bin\\x"},
      {"FILE_1", "SRC", "C:\\nav\\data"},  // DATA's token text, then ROOT later in the map
      {"FILE_1", "LOW", "$root$"},
      {"FILE_1", "PLAIN", "nothing"},
  };
  for (const auto& c : cases) EXPECT_EQ(ini->ReadString(c.section, c.key, "?").str(), c.expected) << c.key;
  std::ifstream in(dir.Unix("model.ini"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);  // memory only
}

// The macro section of a file whose macros double their value: A1=x, then Ak=$Ak-1$$Ak-1$, so
// that Ak expands to 2^(k-1) bytes.
std::string DoublingMacros(int levels) {
  std::string text = "[ENVIRONMENT]\nA1=x\n";
  for (int k = 2; k <= levels; ++k)
    text += "A" + std::to_string(k) + "=$A" + std::to_string(k - 1) + "$$A" + std::to_string(k - 1) + "$\n";
  return text;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(ExpandIniMacros, AFileThatExpandsPastTheLimitsIsRefused) {
  TempFolder dir;
  const struct {
    const char* label;
    std::string text;
    bool refused;
  } cases[] = {
      {"32 KiB", DoublingMacros(16), false},
      {"64 KiB, the limit", DoublingMacros(17), false},
      {"128 KiB", DoublingMacros(18), true},
      {"27 levels", DoublingMacros(27), true},
      {"a value past the limit outside the macro section",
       DoublingMacros(17) + "[FILE_1]\nX=$A17$$A1$\n", true},
      {"4096 substitutions", "[ENVIRONMENT]\nA=x\n[FILE_1]\nX=" + Repeat("$A$", 4096) + "\n", false},
      {"4097 substitutions", "[ENVIRONMENT]\nA=x\n[FILE_1]\nX=" + Repeat("$A$", 4097) + "\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dir.Write("model.ini", c.text);
    std::unique_ptr<TMemIniFile> ini(new TMemIniFile(dir.Dos("model.ini")));
    MacroMapPtr map(CreateMacroMap());
    if (c.refused) {
      EXPECT_THROW(ExpandIniMacros(map.get(), ini.get(), "ENVIRONMENT"), EMacroLimit);
    } else {
      EXPECT_NO_THROW(ExpandIniMacros(map.get(), ini.get(), "ENVIRONMENT"));
    }
  }
  // Up to the limit the values are whole.
  dir.Write("model.ini", DoublingMacros(17));
  std::unique_ptr<TMemIniFile> ini(new TMemIniFile(dir.Dos("model.ini")));
  MacroMapPtr map(CreateMacroMap());
  ExpandIniMacros(map.get(), ini.get(), "ENVIRONMENT");
  EXPECT_EQ(ini->ReadString("ENVIRONMENT", "A17", "").str(), std::string(65536, 'x'));
}

TEST(ExpandMacros, TheExpansionsThroughOneMapShareABudget) {
  MacroMapPtr map(CreateMacroMap());
  MacroMapAdd(map.get(), "BIG", std::string(MACRO_MAX_LENGTH - 10, 'x').c_str());
  // Every value stays below the length limit; together they pass the budget of the map.
  long long added = 0;
  int values = 0;
  EXPECT_THROW(
      for (;;) {
        AnsiString value = ExpandMacros(map.get(), "$BIG$");
        added += value.Length() - 5;
        ++values;
      },
      EMacroLimit);
  EXPECT_LE(added, MACRO_MAX_GROWTH);
  EXPECT_GT(values, 200);
  ClearMacroMap(map.get());  // a cleared map starts afresh
  MacroMapAdd(map.get(), "BIG", "long value");
  EXPECT_EQ(ExpandMacros(map.get(), "$BIG$").str(), "long value");
}

// ---------------------------------------------------------------- drives and check values

TEST(IsRemovableDrive, AsksTheDriveTableForOneLetter) {
  TempFolder dir;
  fs::create_directories(dir.Unix("c"));
  fs::create_directories(dir.Unix("e"));
  std::string table = "C=" + dir.Unix("c") + ",fixed;E=" + dir.Unix("e") + ",removable,NAVI";
  setenv("WINPLAT_DRIVES", table.c_str(), 1);
  winplat::ReloadDrives();
  const struct {
    std::string text;
    bool removable;
  } cases[] = {
      {"E:", true},   {"E:\\", true}, {"E", true},       {"::E\\\\", true}, {"C:", false},
      {"C:\\", false}, {"C:\\Data", false}, {"E:\\x", false}, {"", false},     {"Z:", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRemovableDrive(c.text), c.removable) << c.text;
  unsetenv("WINPLAT_DRIVES");
  winplat::ReloadDrives();
}

TEST(FileChecksum, KnownVectors) {
  TempFolder dir;
  std::string pattern;
  for (int i = 0; i < 3000; ++i) pattern += char((i * 7 + 3) % 251);
  const struct {
    std::string bytes;
    unsigned int expected;
  } cases[] = {
      {"", 0x58525651u},  // "QVRX": the inverted start value is 0
      // zlib.crc32 XOR "QVRX": these bytes never reach a changed table entry
      {"123456789", 0xCBF43926u ^ 0x58525651u},
      {"Movrant", 0x4BE70F7Au},
      // one byte 0xFD looks up entry 2: ~(0xEE8E612C ^ 0x00FFFFFF) ^ "QVRX"
      {"\xFD", 0x49DC377Du},
      {"The quick brown fox jumps over the lazy dog", 0x79DA9A88u},
      {pattern, 0x9C69810Au},  // three 1024-byte reads, 89 look-ups of changed entries
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string name = "f" + std::to_string(n++);
    dir.Write(name, c.bytes);
    unsigned int value = 0;
    EXPECT_EQ(FileChecksum(dir.Dos(name), value), 1) << name;
    EXPECT_EQ(value, c.expected) << name;
  }
}

TEST(FileChecksum, UnreadableLeavesValueAlone) {
  TempFolder dir;
  dir.Write("locked.bin", "data");
  fs::create_directories(dir.Unix("folder"));
  unsigned int value = 12345;
  EXPECT_EQ(FileChecksum(dir.Dos("missing.bin"), value), 0);
  EXPECT_EQ(FileChecksum(dir.Dos("folder"), value), 0);
  int lock = FileOpen(dir.Dos("locked.bin"), fmOpenRead | fmShareExclusive);
  ASSERT_GE(lock, 0);
  EXPECT_EQ(FileChecksum(dir.Dos("locked.bin"), value), 0);
  FileClose(lock);
  EXPECT_EQ(value, 12345u);
  EXPECT_EQ(FileChecksum(dir.Dos("locked.bin"), value), 1);
}

// ---------------------------------------------------------------- files a transfer writes

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The target keeps its bytes until a Commit; only a committed body takes its name, and nothing
// but the target is left in the folder, whichever way the file ends.
TEST(TransferFile, TheTargetChangesOnlyOnCommitAndNothingElseIsLeft) {
  const struct {
    const char* label;
    bool before;  // a file of the target's name is there
    bool commit;
    bool thrown;  // the writer raises midway
  } cases[] = {
      {"new, committed", false, true, false},   {"new, not committed", false, false, false},
      {"there, committed", true, true, false},  {"there, not committed", true, false, false},
      {"there, an exception", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempFolder dir;
    if (c.before) dir.Write("target.zip", "the old bytes");
    std::string during;
    try {
      TTransferFile file(dir.Dos("target.zip"));
      file.Stream()->WriteBuffer("the new body", 12);
      during = ReadAll(dir.Unix("target.zip"));
      EXPECT_EQ(Names(dir.Unix()).size(), c.before ? 2u : 1u);
      if (c.thrown) throw EWriteError("full");
      if (c.commit) {
        EXPECT_TRUE(file.Commit());
        EXPECT_EQ(file.Stream(), nullptr);
        EXPECT_EQ(file.FileName(), dir.Dos("target.zip"));
      }
    } catch (const EWriteError&) {
      EXPECT_TRUE(c.thrown);
    }
    EXPECT_EQ(during, c.before ? "the old bytes" : "");
    if (c.commit) {
      EXPECT_EQ(ReadAll(dir.Unix("target.zip")), "the new body");
    } else if (c.before) {
      EXPECT_EQ(ReadAll(dir.Unix("target.zip")), "the old bytes");
    }
    EXPECT_EQ(Names(dir.Unix()), (c.before || c.commit ? std::vector<std::string>{"target.zip"}
                                                       : std::vector<std::string>{}));
  }
}

// A folder or a read-only file of the target's name could never be replaced: no file is made.
TEST(TransferFile, ATargetThatCannotBeReplacedFailsBeforeAnyFileIsMade) {
  TempFolder dir;
  fs::create_directories(dir.Unix("folder.zip"));
  dir.Write("readonly.zip", "kept");
  fs::permissions(dir.Unix("readonly.zip"), fs::perms::owner_read);
  for (const char* name : {"folder.zip", "readonly.zip"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(TTransferFile file(dir.Dos(name)), EFCreateError);
    EXPECT_EQ(Names(dir.Unix()), (std::vector<std::string>{"folder.zip", "readonly.zip"}));
  }
  EXPECT_EQ(ReadAll(dir.Unix("readonly.zip")), "kept");
  fs::permissions(dir.Unix("readonly.zip"), fs::perms::owner_all);
}

// A package's file takes no name already there: it keeps the name the system made for it.
TEST(TransferFile, ANewFileInAFolderKeepsItsOwnName) {
  TempFolder dir;
  dir.Write("qvu1.TMP", "not this one");
  std::unique_ptr<TTransferFile> file = TTransferFile::NewIn(dir.Dos(), "qvu");
  AnsiString name = file->FileName();
  EXPECT_EQ(ExtractFileDir(name), dir.Dos());
  EXPECT_NE(ExtractFileName(name), "qvu1.TMP");
  file->Stream()->WriteBuffer("package", 7);
  EXPECT_TRUE(file->Commit());
  file.reset();
  EXPECT_EQ(ReadAll(winplat::DosToUnix(name.str())), "package");
  EXPECT_EQ(ReadAll(dir.Unix("qvu1.TMP")), "not this one");
  // Without a Commit it goes with the object.
  file = TTransferFile::NewIn(dir.Dos(), "qvu");
  file.reset();
  EXPECT_EQ(Names(dir.Unix()).size(), 2u);
}

}  // namespace
