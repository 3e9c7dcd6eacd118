// The table as the compiler builds it and the reader walks it, including damaged tables: the
// reader keeps what is sound and never reads outside the section.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>

#include "ResourceTable.h"
#include "Table.h"
#include "winbase.h"

using namespace winplat::res;

namespace {

rescomp::Resource Res(uint16_t typeId, const std::string& typeName, uint16_t nameId, const std::string& name,
                      const std::string& data) {
  rescomp::Resource r;
  r.typeId = typeId;
  r.typeName = typeName;
  r.nameId = nameId;
  r.name = name;
  r.data.assign(data.begin(), data.end());
  return r;
}

std::vector<unsigned char> TwoBlocks() {
  std::vector<unsigned char> a = rescomp::BuildBlock({Res(10, "", 0, "ALPHA", "first"), Res(0, "MINE", 5, "", "")});
  std::vector<unsigned char> b = rescomp::BuildBlock({Res(10, "", 9, "", std::string(100, 'z'))});
  std::vector<unsigned char> section = a;
  section.insert(section.end(), 32, 0);  // alignment padding the linker may leave
  section.insert(section.end(), b.begin(), b.end());
  return section;
}

std::string Data(const winres::Entry* e) { return std::string(reinterpret_cast<const char*>(EntryData(*e)), e->size); }

TEST(ResourceTable, BlocksSideBySideAreAllRead) {
  std::vector<unsigned char> s = TwoBlocks();
  auto entries = Entries({s.data(), s.size()});
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_STREQ(EntryName(*entries[0]), "ALPHA");
  EXPECT_EQ(Data(entries[0]), "first");
  EXPECT_EQ(entries[1]->size, 0u);
  EXPECT_EQ(Data(entries[2]), std::string(100, 'z'));
  for (const winres::Entry* e : entries) EXPECT_EQ(reinterpret_cast<uintptr_t>(EntryData(*e)) % 16, 0u);
}

TEST(ResourceTable, KeysFromTheApi) {
  const struct {
    LPCSTR text;
    uint16_t id;
    std::string name;
  } cases[] = {
      {MAKEINTRESOURCEA(101), 101, ""}, {"#101", 101, ""}, {"#", 0, "#"},      {"#12x", 0, "#12X"},
      {"#70000", 0, "#70000"},          {"Mine", 0, "MINE"}, {"form_1", 0, "FORM_1"},
  };
  for (const auto& c : cases) {
    Key k = MakeKey(c.text);
    EXPECT_EQ(k.id, c.id);
    EXPECT_EQ(k.name, c.name);
  }
}

TEST(ResourceTable, FindTellsTypeFromName) {
  std::vector<unsigned char> s = TwoBlocks();
  Section sec{s.data(), s.size()};
  DWORD error = 0;
  EXPECT_NE(FindEntry(sec, MakeKey("mine"), MakeKey("#5"), error), nullptr);
  EXPECT_NE(FindEntry(sec, MakeKey(MAKEINTRESOURCEA(10)), MakeKey(MAKEINTRESOURCEA(9)), error), nullptr);
  EXPECT_EQ(FindEntry(sec, MakeKey("mine"), MakeKey("#6"), error), nullptr);
  EXPECT_EQ(error, DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindEntry(sec, MakeKey("yours"), MakeKey("#5"), error), nullptr);
  EXPECT_EQ(error, DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(ResourceTable, DamagedTablesKeepWhatIsSound) {
  std::vector<unsigned char> good = TwoBlocks();
  const size_t firstSize = rescomp::BuildBlock({Res(10, "", 0, "ALPHA", "first"), Res(0, "MINE", 5, "", "")}).size();
  struct Case {
    const char* what;
    std::function<void(std::vector<unsigned char>&)> damage;
    size_t expected;
  };
  const Case cases[] = {
      {"cut inside the second block", [&](auto& s) { s.resize(firstSize + 32 + 40); }, 2},
      {"cut inside the first header", [](auto& s) { s.resize(10); }, 0},
      {"garbage after the first block", [&](auto& s) { s[firstSize + 3] = 0x55; }, 2},
      {"block size beyond the section", [](auto& s) { uint32_t v = 1u << 30; std::memcpy(&s[4], &v, 4); }, 0},
      {"count beyond the block", [](auto& s) { uint32_t v = 1000; std::memcpy(&s[8], &v, 4); }, 0},
      {"data offset out of the block",
       [](auto& s) { int32_t v = 1 << 24; std::memcpy(&s[16 + offsetof(winres::Entry, data)], &v, 4); }, 2},
      {"negative name offset",
       [](auto& s) { int32_t v = -64; std::memcpy(&s[16 + offsetof(winres::Entry, nameName)], &v, 4); }, 2},
      {"name without its zero", [&](auto& s) { std::memset(&s[16 + 64], 'A', firstSize - 16 - 64); }, 1},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> s = good;
    c.damage(s);
    // an exact-size copy lets the sanitizers see any read past the end
    std::unique_ptr<unsigned char[]> exact(new unsigned char[s.size()]);
    std::memcpy(exact.get(), s.data(), s.size());
    EXPECT_EQ(Entries({exact.get(), s.size()}).size(), c.expected) << c.what;
  }
}

TEST(DottedVersion, ParsesOneToFourNumbers) {
  const struct {
    const char* text;
    bool ok;
    uint16_t v[4];
  } cases[] = {
      {"1.2.3.4", true, {1, 2, 3, 4}}, {"7", true, {7, 0, 0, 0}},  {"65535.0.0.1", true, {65535, 0, 0, 1}},
      {"65536", false, {}},            {"1..2", false, {}},        {"1.2.3.4.5", false, {}},
      {"", false, {}},                 {"1.2a", false, {}},        {"1.2.", false, {}},
  };
  for (const auto& c : cases) {
    uint16_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(rescomp::ParseDottedVersion(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::memcmp(v, c.v, sizeof v), 0) << c.text;
    }
  }
}

}  // namespace
