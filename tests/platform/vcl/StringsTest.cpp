// String lists as the system uses them: text loading, delimited text both ways, sorted lists,
// name=value lines, attached objects; and the pointer list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "TestLists.h"

namespace {

using Lines = std::vector<std::string>;

struct TextCase {
  std::string text;
  Lines lines;
};

TEST(StringListText, SplitsAtCrLfOrCrLfAndStopsAtZero) {
  const TextCase cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\ntwo", {"one", "two"}},
      {"one\rtwo\r", {"one", "two"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\rb", {"a", "", "b"}},
      {"a\n\r b", {"a", "", " b"}},  // LF then CR: two breaks
      {"\r\n", {""}},
      {std::string("a\nb\0c\nd", 7), {"a", "b"}},
      {std::string("\0x", 2), {}},
      {"  kept  \n", {"  kept  "}},
      {"\xC7\xD1\xB1\xDB\r\n\xB1\xDB", {"\xC7\xD1\xB1\xDB", "\xB1\xDB"}},
  };
  for (const TextCase& c : cases) {
    TStringList list;
    list.SetText(AnsiString(c.text));
    EXPECT_EQ(Items(list), c.lines) << "text: " << c.text;
  }
}

TEST(StringListText, JoinsWithCrLfAfterEveryLine) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("a");
  list.Add("");
  list.Add("b");
  EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
  TStringList again;
  again.SetText(list.Text());
  EXPECT_TRUE(again.Equals(&list));
}

struct DelimitedCase {
  std::string text;
  Lines items;
};

TEST(StringListDelimited, ReadsItemsTheLibraryWay) {
  const DelimitedCase cases[] = {
      {"", {}},
      {"   ", {}},
      {"a,b,c", {"a", "b", "c"}},
      {"a,,b", {"a", "", "b"}},
      {",a", {"", "a"}},
      {"a,", {"a", ""}},
      {"a, b ,c", {"a", "b", "c"}},
      {"a b", {"a", "b"}},          // a blank separates unquoted items
      {"a\tb", {"a", "b"}},         // so does a control character
      {"\"a b\",c", {"a b", "c"}},  // quoted items keep their blanks
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"\"", {""}},
      {"\"a,b\"", {"a,b"}},
      {"\"ab\"cd,e", {"ab", "cd", "e"}},
      {"\"open", {"open"}},  // an unterminated quote runs to the end
      {std::string("a,b\0,c", 6), {"a", "b"}},
      {"\xC7\xD1,\xB1\xDB \xC6\xC4\xC0\xCF", {"\xC7\xD1", "\xB1\xDB", "\xC6\xC4\xC0\xCF"}},
  };
  for (const DelimitedCase& c : cases) {
    TStringList list;
    list.SetDelimitedText(AnsiString(c.text));
    EXPECT_EQ(Items(list), c.items) << "text: " << c.text;
  }
}

TEST(StringListDelimited, OtherDelimitersAndQuotes) {
  TStringList list;
  list.Delimiter = '.';
  list.SetDelimitedText("1.0..256");
  EXPECT_EQ(Items(list), (Lines{"1", "0", "", "256"}));
  list.SetDelimitedText("1. 2");
  EXPECT_EQ(Items(list), (Lines{"1", "2"}));
  list.Delimiter = ';';
  list.QuoteChar = '\'';
  list.SetDelimitedText("'a;b';'it''s'");
  EXPECT_EQ(Items(list), (Lines{"a;b", "it's"}));
  // A lead byte takes the next byte with it, whatever that byte is.
  list.Delimiter = '\\';
  list.SetDelimitedText("\x81\\\\x");
  EXPECT_EQ(Items(list), (Lines{"\x81\\", "x"}));
}

struct WriteCase {
  Lines items;
  char delimiter;
  std::string text;
};

TEST(StringListDelimited, QuotesItemsThatNeedIt) {
  const WriteCase cases[] = {
      {{}, ',', ""},
      {{""}, ',', "\"\""},
      {{"a", "", "b"}, ',', "a,,b"},
      {{"a", "b c"}, ',', "a,\"b c\""},
      {{"a,b"}, ',', "\"a,b\""},
      {{"say \"hi\""}, ',', "\"say \"\"hi\"\"\""},
      {{"tab\there"}, ',', "\"tab\there\""},
      {{"pkg1.zip", "my pkg.zip", "q\"uote.zip"}, ' ', "pkg1.zip \"my pkg.zip\" \"q\"\"uote.zip\""},
      {{"\xC7\xD1\xB1\xDB.zip"}, ' ', "\xC7\xD1\xB1\xDB.zip"},
  };
  for (const WriteCase& c : cases) {
    TStringList list;
    list.Delimiter = c.delimiter;
    for (const std::string& s : c.items) list.Add(AnsiString(s));
    EXPECT_EQ(list.GetDelimitedText().str(), c.text);
    // What is written reads back as the same items.
    TStringList back;
    back.Delimiter = c.delimiter;
    back.SetDelimitedText(list.GetDelimitedText());
    EXPECT_EQ(Items(back), c.items) << "text: " << c.text;
  }
}

TEST(StringListDelimited, CommaTextUsesCommaAndDoubleQuoteWhateverIsSet) {
  TStringList list;
  list.Delimiter = ' ';
  list.QuoteChar = '\'';
  list.SetCommaText("\"a b\",c");
  EXPECT_EQ(Items(list), (Lines{"a b", "c"}));
  EXPECT_EQ(list.GetCommaText(), "\"a b\",c");
  EXPECT_EQ(list.Delimiter, ' ');
  EXPECT_EQ(list.QuoteChar, '\'');
}

TEST(StringList, UnsortedKeepsOrderAndFindsWithoutCase) {
  TStringList list;
  list.Add("Beta");
  list.Add("alpha");
  list.Add("beta");
  EXPECT_EQ(Items(list), (Lines{"Beta", "alpha", "beta"}));
  EXPECT_EQ(list.IndexOf("BETA"), 0);
  EXPECT_EQ(list.IndexOf("gamma"), -1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("beta"), 2);
  EXPECT_EQ(list.IndexOf("BETA"), -1);
  EXPECT_EQ(CompareText("abc_", "ABCA"), '_' - 'A');
}

TEST(StringList, SortedInsertsInOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  EXPECT_EQ(Items(list), (Lines{"Apple", "fig", "pear"})) << "dupIgnore drops the second apple";
  int index = -1;
  EXPECT_TRUE(list.Find("PEAR", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 2) << "the place where it would go";
  EXPECT_EQ(list.Add("APPLE"), 0);
  EXPECT_EQ(list.Count(), 3);

  list.Duplicates = dupError;
  EXPECT_THROW(list.Add("Fig"), EStringListError);
  list.Duplicates = dupAccept;
  list.Add("Fig");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  EXPECT_THROW(list.Put(0, "x"), EStringListError);

  // Case-sensitive order puts upper-case letters first and tells "Fig" from "fig".
  list.SetCaseSensitive(true);
  list.Add("fig");
  EXPECT_EQ(Items(list), (Lines{"Apple", "Fig", "fig", "fig", "pear"}));
  EXPECT_TRUE(list.Find("Fig", index));
  EXPECT_EQ(index, 1);
}

TEST(StringList, SortingCarriesTheObjects) {
  TStringList list;
  TStringList a, b, c;
  list.AddObject("c", &c);
  list.AddObject("a", &a);
  list.AddObject("b", &b);
  list.SetSorted(true);
  EXPECT_EQ(Items(list), (Lines{"a", "b", "c"}));
  EXPECT_EQ(list.Objects(0), &a);
  EXPECT_EQ(list.Objects(2), &c);
  EXPECT_EQ(list.IndexOfObject(&b), 1);
}

TEST(StringList, IndexErrorsRaise) {
  TStringList list;
  list.Add("x");
  EXPECT_THROW(list.Get(1), EStringListError);
  EXPECT_THROW(list.Get(-1), EStringListError);
  EXPECT_THROW(list.Delete(1), EStringListError);
  EXPECT_THROW(list.Insert(2, "y"), EStringListError);
  list.Insert(1, "y");
  EXPECT_EQ(Items(list), (Lines{"x", "y"}));
}

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("Key=value\nother = x\nplain\nK2=a=b\n");
  EXPECT_EQ(list.Names(0), "Key");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.Values("KEY"), "value");
  EXPECT_EQ(list.Values("K2"), "a=b");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.IndexOfName("other "), 1);
  EXPECT_EQ(list.ValueFromIndex(2), "");
  list.SetValues("key", "new");
  EXPECT_EQ(list[0], "key=new");
  list.SetValues("added", "1");
  EXPECT_EQ(list[list.Count() - 1], "added=1");
  list.SetValues("key", "");
  EXPECT_EQ(list.IndexOfName("key"), -1);
}

// Counts its own destructions.
struct Tracked : TObject {
  explicit Tracked(int* counter) : counter(counter) {}
  ~Tracked() override { ++*counter; }
  int* counter;
};

TEST(StringList, OwnedObjectsAreFreedOnceWhateverHappens) {
  int freed = 0;
  {
    TStringList list;
    list.OwnsObjects = true;
    list.AddObject("a", new Tracked(&freed));
    list.AddObject("b", new Tracked(&freed));
    list.AddObject("c", new Tracked(&freed));
    list.Move(0, 2);
    list.Exchange(0, 1);
    EXPECT_EQ(freed, 0) << "moving does not free";
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    list.PutObject(0, new Tracked(&freed));
    EXPECT_EQ(freed, 2) << "the replaced object is freed";
    list.SetSorted(true);
    list.AddObject("a", new Tracked(&freed));  // ignored duplicate: its object is freed too
    EXPECT_EQ(freed, 3);
  }
  EXPECT_EQ(freed, 5);
}

TEST(StringList, ChangeEventOutsideUpdates) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.Add("a");
  EXPECT_EQ(changes, 1);
  list.SetText("x\ny\nz");
  EXPECT_EQ(changes, 2) << "one event for the whole text";
}

TEST(StringList, AssignCopiesItemsObjectsAndSeparators) {
  TStringList from, to;
  from.Delimiter = ' ';
  from.AddObject("a", &from);
  to.Add("old");
  to.Assign(&from);
  EXPECT_EQ(Items(to), (Lines{"a"}));
  EXPECT_EQ(to.Objects(0), &from);
  EXPECT_EQ(to.Delimiter, ' ');
}

// ---------------------------------------------------------------- TList

TEST(List, AddInsertDeletePackAndIndexErrors) {
  TList list;
  int a, b, c;
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(nullptr), 1);
  list.Insert(0, &b);
  list.Add(&c);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(0), &b);
  EXPECT_EQ(list.IndexOf(&c), 3);
  EXPECT_EQ(list.Remove(&a), 1);
  EXPECT_EQ(list.Remove(&a), -1);
  list.Pack();
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.First(), &b);
  EXPECT_EQ(list.Last(), &c);
  list.Exchange(0, 1);
  EXPECT_EQ(list[0], &c);
  EXPECT_THROW(list.Items(2), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(3, &a), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.First(), EListError);
}

TEST(List, CountAndCapacity) {
  TList list;
  list.SetCapacity(10);
  EXPECT_EQ(list.Capacity(), 10);
  list.SetCount(3);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(2), nullptr);
  EXPECT_THROW(list.SetCapacity(2), EListError);
  for (int i = 0; i < 100; ++i) list.Add(&list);
  EXPECT_GE(list.Capacity(), list.Count());
}

// A list that owns records, as the archive name table does.
struct OwningList : TList {
  ~OwningList() override { Clear(); }
  void Notify(void* ptr, TListNotification action) override {
    if (action == lnDeleted) delete static_cast<int*>(ptr);
  }
};

TEST(List, DerivedListFreesItsItemsButNotExtractedOnes) {
  auto* kept = new int(2);
  {
    OwningList list;
    list.Add(new int(1));
    list.Add(kept);
    list.Add(new int(3));
    list.Delete(0);
    EXPECT_EQ(list.Extract(kept), kept);
    EXPECT_EQ(list.Count(), 1);
  }
  EXPECT_EQ(*kept, 2);
  delete kept;
}

TEST(List, SortAndMove) {
  int v[4] = {3, 1, 4, 2};
  TList list;
  for (int& x : v) list.Add(&x);
  list.Sort([](void* a, void* b) { return *static_cast<int*>(a) - *static_cast<int*>(b); });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(*static_cast<int*>(list[i]), i + 1);
  list.Move(0, 3);
  EXPECT_EQ(*static_cast<int*>(list[3]), 1);
}

}  // namespace
