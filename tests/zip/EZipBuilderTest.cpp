// The zip exceptions: ids, texts and whether they ask for a box.
#include <gtest/gtest.h>

#include "EZipBuilder.h"

namespace {

TEST(EZipBuilder, Constructors) {
  struct Case {
    const char* what;
    EZipBuilder e;
    int id;
    const char* text;
    bool show;
  };
  const Case cases[] = {
      {"plain text", EZipBuilder::Create("Something odd"), 11049, "Something odd", true},
      {"from id", EZipBuilder::CreateFromId(11051, false), 11051, "Cannot write to %s", false},
      {"missing id", EZipBuilder::CreateFromId(10230, true), 10230, "Resource missing for 10230", true},
      {"integer", EZipBuilder::CreateFromIdInt(10124, -7), 10124, "critical DLL Error -7", true},
      {"string", EZipBuilder::CreateFromIdStr(10650, "C:\\a%d.dll"), 10650, "Failed to load C:\\a%d.dll", true},
      {"list", EZipBuilder::CreateFromIdArgs(10126, {"50%s.txt", 3}), 10126, "Skipped 50%s.txt 3", true},
      {"list, missing id", EZipBuilder::CreateFromIdArgs(10230, {1}), 10230, "Resource missing for 10230", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.e.MessageId, c.id) << c.what;
    EXPECT_EQ(c.e.Message.str(), c.text) << c.what;
    EXPECT_EQ(c.e.ShowBox, c.show) << c.what;
    EXPECT_STREQ(c.e.what(), c.text) << c.what;
  }
}

TEST(EZipBuilder, AbortIsACancellationWithoutBox) {
  try {
    throw EZipAbort();
  } catch (const EZipBuilder& e) {
    EXPECT_NE(dynamic_cast<const EZipAbort*>(&e), nullptr);
    EXPECT_EQ(e.MessageId, 11007);
    EXPECT_EQ(e.Message.str(), "User canceled operation");
    EXPECT_FALSE(e.ShowBox);
  }
}

TEST(EZipBuilder, IsAClassLibraryException) {
  try {
    throw EZipBuilder::CreateFromId(10102, true);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message.str(), "Error - no zip file specified!");
  }
}

}  // namespace
