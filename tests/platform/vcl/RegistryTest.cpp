// The registry objects over a temporary HKEY_CURRENT_USER file: the settings key of both
// programs, TRegIniFile's text values, and TRegistry's keys, values and errors.
#include <string>
#include <vector>

#include "Registry.h"
#include "VclDrive.h"
#include "TestLists.h"

namespace {

using Reg = VclDrive;

const char* const kKey = "Software\\Delmaro";
const char* const kSub = "Movrant for Pavo";

TEST_F(Reg, RegIniFileRoundTripsAsDecimalText) {
  {
    TRegIniFile reg(kKey);
    ASSERT_TRUE(reg.OpenKey(kSub, true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Delmaro\\Movrant for Pavo");
    reg.WriteString("DOWNLOAD", "ROOTPATH", "C:\\\xB9\xDE\xB1\xE2");
    reg.WriteBool("AUTHEN", "AUTOLOGIN", true);
    reg.WriteString("AUTHEN", "SAVED_ID", "user01");
    reg.WriteInteger("SORVEL", "EVENTINDEX", 42);
    reg.WriteInteger("SORVEL", "NEG", -7);
  }
  TRegIniFile reg(kKey);
  ASSERT_TRUE(reg.OpenKey(kSub, false));
  EXPECT_EQ(reg.ReadString("DOWNLOAD", "ROOTPATH", ""), "C:\\\xB9\xDE\xB1\xE2");
  EXPECT_TRUE(reg.ReadBool("AUTHEN", "AUTOLOGIN", false));
  EXPECT_EQ(reg.ReadString("AUTHEN", "AUTOLOGIN", ""), "1") << "booleans are the text 1 or 0";
  EXPECT_EQ(reg.ReadInteger("SORVEL", "EVENTINDEX", 0), 42);
  EXPECT_EQ(reg.ReadString("SORVEL", "EVENTINDEX", ""), "42");
  EXPECT_EQ(reg.ReadInteger("SORVEL", "NEG", 0), -7);
  EXPECT_EQ(reg.GetDataType("x"), rdUnknown);

  TStringList list;
  reg.ReadSections(&list);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_GE(list.IndexOf("authen"), 0);
  reg.ReadSection("AUTHEN", &list);
  EXPECT_EQ(list.Count(), 2);
  reg.ReadSectionValues("SORVEL", &list);
  EXPECT_GE(list.IndexOf("EVENTINDEX=42"), 0);
}

TEST_F(Reg, RegIniFileDefaultsForMissingOrUnreadableValues) {
  TRegIniFile reg(kKey);
  ASSERT_TRUE(reg.OpenKey(kSub, true));
  EXPECT_EQ(reg.ReadString("NONE", "x", "def"), "def");
  EXPECT_EQ(reg.ReadInteger("NONE", "x", 5), 5);
  EXPECT_FALSE(reg.ReadBool("AUTHEN", "AUTOLOGIN", false));
  EXPECT_FALSE(reg.KeyExists("NONE")) << "reading creates no section";
  reg.WriteString("SORVEL", "EVENTINDEX", "12abc");
  EXPECT_EQ(reg.ReadInteger("SORVEL", "EVENTINDEX", 0), 0);
  reg.WriteString("SORVEL", "EVENTINDEX", "0x1F");
  EXPECT_EQ(reg.ReadInteger("SORVEL", "EVENTINDEX", 0), 31);
  // A DWORD value reads as an integer; as text it counts as missing.
  ASSERT_TRUE(reg.OpenKey("SORVEL", false));
  reg.WriteInteger("DW", 9);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Delmaro\\Movrant for Pavo", false));
  EXPECT_EQ(reg.ReadInteger("SORVEL", "DW", 0), 9);
  EXPECT_EQ(reg.ReadString("SORVEL", "DW", "text?"), "text?");
}

TEST_F(Reg, RegIniFileEraseAndDelete) {
  TRegIniFile reg(kKey);
  ASSERT_TRUE(reg.OpenKey(kSub, true));
  reg.WriteString("A", "x", "1");
  reg.WriteString("A", "y", "2");
  reg.DeleteKey("A", "x");
  TStringList list;
  reg.ReadSection("A", &list);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"y"}));
  reg.EraseSection("A");
  EXPECT_FALSE(reg.KeyExists("A"));
  reg.ReadSection("A", &list);
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(Reg, RegistryKeysValuesAndPaths) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey, HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.OpenKey("SOFTWARE\\Quorvex\\WebUpdater", false));
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quorvex\\WebUpdater\\C:\\data\\big.bin", true));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Quorvex\\WebUpdater\\C:\\data\\big.bin");
  reg.WriteString("SIZE", "5000000");
  reg.WriteString("CRC", "-1234567");
  reg.WriteInteger("N", 17);
  reg.WriteBool("B", true);
  EXPECT_EQ(reg.ReadString("SIZE"), "5000000");
  EXPECT_EQ(reg.ReadString("missing"), "");
  EXPECT_EQ(reg.ReadInteger("N"), 17);
  EXPECT_TRUE(reg.ReadBool("B"));
  EXPECT_THROW(reg.ReadInteger("SIZE"), ERegistryException) << "text is no integer here";
  EXPECT_THROW(reg.ReadInteger("missing"), ERegistryException);
  EXPECT_THROW(reg.ReadString("N"), ERegistryException);
  EXPECT_TRUE(reg.ValueExists("crc"));
  EXPECT_EQ(reg.GetDataType("N"), rdInteger);
  EXPECT_EQ(reg.GetDataSize("SIZE"), 8);
  TStringList names;
  reg.GetValueNames(&names);
  EXPECT_EQ(names.Count(), 4);
  EXPECT_TRUE(reg.DeleteValue("N"));
  EXPECT_FALSE(reg.DeleteValue("N"));
  EXPECT_FALSE(reg.HasSubKeys());
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentPath(), "");

  // Relative paths go below the open key, a leading "\" starts at the root.
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quorvex", false));
  EXPECT_TRUE(reg.KeyExists("WebUpdater\\C:"));
  EXPECT_TRUE(reg.KeyExists("\\SOFTWARE"));
  EXPECT_FALSE(reg.KeyExists("SOFTWARE"));
  ASSERT_TRUE(reg.OpenKey("WebUpdater", false));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Quorvex\\WebUpdater");
  EXPECT_TRUE(reg.HasSubKeys());
  reg.GetKeyNames(&names);
  EXPECT_EQ(Items(names), (std::vector<std::string>{"C:"}));
  EXPECT_TRUE(reg.CreateKey("Other"));

  // A key goes with everything below it.
  EXPECT_TRUE(reg.DeleteKey("\\SOFTWARE\\Quorvex"));
  reg.CloseKey();
  EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Quorvex\\WebUpdater\\C:\\data\\big.bin"));
  EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Quorvex"));
  EXPECT_TRUE(reg.KeyExists("SOFTWARE"));
  EXPECT_FALSE(reg.DeleteKey("SOFTWARE\\Quorvex"));
}

TEST_F(Reg, ValuesSurviveAnotherObjectAndAReadOnlyOpen) {
  {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("Software\\Delmaro\\Movrant for Pavo\\SORVEL", true));
    writer.WriteString("EVENTINDEX", "3");
  }
  TRegistry reader;
  ASSERT_TRUE(reader.OpenKeyReadOnly("Software\\Delmaro\\Movrant for Pavo\\SORVEL"));
  EXPECT_EQ(reader.ReadString("EVENTINDEX"), "3");
}

}  // namespace
