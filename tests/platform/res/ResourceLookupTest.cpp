#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "windows.h"

namespace {

std::string Bytes(HMODULE module, HRSRC res) {
  HGLOBAL data = LoadResource(module, res);
  const char* p = static_cast<const char*>(LockResource(data));
  return std::string(p, SizeofResource(module, res));
}

struct Found {
  LPCSTR name;
  LPCSTR type;
  std::string expected;
};

TEST(FindResource, FindsByNameIdAndTypeIgnoringCase) {
  const std::string bmp = DataFile("tiny.bmp");
  const std::string html = DataFile("page.html");
  const std::string htmlCp949 = "<html><body>\xBF\xCF\xB7\xE1</body></html>\n";
  const std::string blob = DataFile("blob.bin");
  const Found cases[] = {
      {"TITLE", RT_BITMAP, bmp.substr(14)},  // stored as a DIB, without the file header
      {"title", RT_BITMAP, bmp.substr(14)},
      {"Page", RT_HTML, htmlCp949},
      {MAKEINTRESOURCEA(101), "QuorvexWU_ER", blob},
      {MAKEINTRESOURCEA(101), "QUORVEXWU_ER", blob},
      {"#101", "quorvexwu_er", blob},
      {"Raw", RT_RCDATA, DataFile("raw.txt")},
      {"CONVERTED", RT_RCDATA, kDoneCp949},
      {MAKEINTRESOURCEA(11610), RT_RCDATA, blob},
      {"#11610", "#10", blob},
      {MAKEINTRESOURCEA(7), MAKEINTRESOURCEA(10), DataFile("raw.txt")},
      {"Library", RT_RCDATA, ReadFixture(RES_LIBRARY)},  // named through a generator expression
  };
  ASSERT_NE(html, htmlCp949);
  for (const Found& c : cases) {
    SCOPED_TRACE(IS_INTRESOURCE(c.name) ? std::to_string(LOWORD((ULONG_PTR)c.name)) : std::string(c.name));
    HRSRC res = FindResourceA(nullptr, c.name, c.type);
    ASSERT_NE(res, nullptr) << GetLastError();
    EXPECT_EQ(Bytes(nullptr, res), c.expected);
  }
}

TEST(FindResource, DataStaysWhereTheModuleHoldsIt) {
  HRSRC a = FindResourceA(nullptr, "TITLE", RT_BITMAP);
  HRSRC b = FindResourceA(nullptr, "title", RT_BITMAP);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(LockResource(LoadResource(nullptr, a)), LockResource(LoadResource(nullptr, b)));
  EXPECT_EQ(FreeResource(LoadResource(nullptr, a)), FALSE);
}

struct Missing {
  LPCSTR name;
  LPCSTR type;
  DWORD error;
};

TEST(FindResource, MissingGivesNullAndTheReason) {
  const Missing cases[] = {
      {"NOPE", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEA(102), "QuorvexWU_ER", ERROR_RESOURCE_NAME_NOT_FOUND},
      {"TITLE", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},  // the name exists under another type
      {"TITLE", RT_ICON, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"TITLE", "NOSUCHTYPE", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"#0", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},  // not an id: a name that no one has
  };
  for (const Missing& c : cases) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, c.name, c.type), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

struct Collected {
  std::vector<std::string> names;
  size_t stopAfter = 0;
};

BOOL CALLBACK Collect(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  auto* c = reinterpret_cast<Collected*>(param);
  c->names.push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(LOWORD((ULONG_PTR)name)) : std::string(name));
  return c->names.size() != c->stopAfter;
}

TEST(EnumResourceNames, ListsNamesThenIds) {
  Collected all;
  EXPECT_TRUE(EnumResourceNamesA(nullptr, RT_RCDATA, Collect, LONG_PTR(&all)));
  EXPECT_EQ(all.names, (std::vector<std::string>{"CONVERTED", "LIBRARY", "RAW", "ZETA", "#7", "#11610"}));

  Collected custom;
  EXPECT_TRUE(EnumResourceNamesA(nullptr, "quorvexWU_er", Collect, LONG_PTR(&custom)));
  EXPECT_EQ(custom.names, std::vector<std::string>{"#101"});
}

TEST(EnumResourceNames, StopsWhenTheCallbackSaysSo) {
  Collected some;
  some.stopAfter = 2;
  SetLastError(0);
  EXPECT_FALSE(EnumResourceNamesA(nullptr, RT_RCDATA, Collect, LONG_PTR(&some)));
  EXPECT_EQ(GetLastError(), 15106u);  // ERROR_RESOURCE_ENUM_USER_STOP
  EXPECT_EQ(some.names.size(), 2u);
}

TEST(EnumResourceNames, UnknownTypeFails) {
  Collected none;
  SetLastError(0);
  EXPECT_FALSE(EnumResourceNamesA(nullptr, RT_ICON, Collect, LONG_PTR(&none)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_TRUE(none.names.empty());
}

class LibraryModule : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(RES_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle) dlclose(handle);
  }
  HMODULE module() const { return static_cast<HMODULE>(handle); }
  void* handle = nullptr;
};

TEST_F(LibraryModule, AnswersFromTheLibrarysOwnTable) {
  HRSRC res = FindResourceA(module(), "LibOnly", RT_RCDATA);
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(Bytes(module(), res), DataFile("raw.txt"));

  SetLastError(0);
  EXPECT_EQ(FindResourceA(module(), "TITLE", RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  // and the program does not see the library's resources
  EXPECT_EQ(FindResourceA(nullptr, "LIBONLY", RT_RCDATA), nullptr);
}

TEST_F(LibraryModule, TheProgramHandleMeansTheProgram) {
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  EXPECT_NE(FindResourceA(static_cast<HMODULE>(self), "TITLE", RT_BITMAP), nullptr);
  dlclose(self);
}

TEST(FindResource, ModuleWithoutTableHasNoResourceData) {
  void* z = dlopen(RES_PLAIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(z, nullptr) << dlerror();
  SetLastError(0);
  EXPECT_EQ(FindResourceA(static_cast<HMODULE>(z), "TITLE", RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
  dlclose(z);
}

}  // namespace
