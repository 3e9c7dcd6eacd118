// Number texts: FormatFloat with the size patterns, integer parsing, Format, float and date
// texts.
#include <gtest/gtest.h>

#include <string>

#include "SysUtils.h"

namespace {

struct FloatCase {
  const char* format;
  double value;
  const char* text;
};

TEST(FormatFloat, SizePatternsGroupRoundAndDropEmptyDecimals) {
  const FloatCase cases[] = {
      {"###,###,### B", 1, "1 B"},
      {"###,###,### B", 1024, "1,024 B"},
      {"###,###,### B", -5, "-5 B"},
      {"###,###,### B", -1234, "-1,234 B"},
      {"###,###,###.# KB", 1025 / 1024.0, "1 KB"},
      {"###,###,###.# KB", 1536 / 1024.0, "1.5 KB"},
      {"###,###,###.# KB", 1024.0, "1,024 KB"},
      {"###,###,###.# KB", 1.96, "2 KB"},  // rounding carries into the integer part
      {"###,###,###.# KB", 1.95, "1.9 KB"},  // 1.95 is stored as 1.9499999...
      {"###,###,###.# MB", 1048577 / 1048576.0, "1 MB"},
      {"###,###,###.# MB", 10.0, "10 MB"},
      {"###,###,###.# MB", 9.96, "10 MB"},
      {"###,###,###,### MB", 15.0, "15 MB"},
      {"###,###,###,### MB", 10.5, "11 MB"},   // half away from zero
      {"###,###,###,### MB", 11.5, "12 MB"},
      {"###,###,###,### MB", 2047.9, "2,048 MB"},
      {"###,###,###,###.# GB", 1.5, "1.5 GB"},
      {"###,###,###,###.# GB", 1.25, "1.3 GB"},  // 1.25 is exact: half rounds up, not to even
      {"###,###,###,###.# GB", 1.05, "1.1 GB"},
      {"###,###,###,###.# GB", 8589934592.0, "8,589,934,592 GB"},
      {"###,###,###,###.# GB", 1234567890123.0, "1,234,567,890,123 GB"},  // more digits than places
      {"###,###,###,### Byte", 0, " Byte"},
      {"###,###,###,### Byte", 1234567, "1,234,567 Byte"},
      {"###,###,###.# KB", 0.04, " KB"},
      {"###,###,###.# KB", 0.05, ".1 KB"},
      {"###,###,###.# KB", -0.04, " KB"},  // rounds to nothing: no minus sign
  };
  for (const FloatCase& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST(FormatFloat, ZeroPlaceholdersLiteralsAndSections) {
  const FloatCase cases[] = {
      {"0", 0, "0"},
      {"0.00", 1.5, "1.50"},
      {"000", 7, "007"},
      {"#,##0", 999, "999"},
      {"#,##0", 1000, "1,000"},
      {"#,##0.0#", 2.345, "2.35"},
      {"0.#", 3.0, "3"},
      {"#.#", 0.5, ".5"},
      {".00", 12.5, "12.50"},
      {"\"$\"#,##0", 1234, "$1,234"},
      {"'#'0", 5, "#5"},
      {"0 \xB9\xD9\xC0\xCC\xC6\xAE", 3, "3 \xB9\xD9\xC0\xCC\xC6\xAE"},  // a Korean unit word
      {"0;(0)", -4, "(4)"},
      {"0;(0);zero", 0, "zero"},
      {"0;;zero", -4, "-4"},
      {"", 2.5, "2.5"},
  };
  for (const FloatCase& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST(FormatFloat, UsesTheLocaleSeparators) {
  char thousand = ThousandSeparator, decimal = DecimalSeparator;
  EXPECT_EQ(thousand, ',');
  EXPECT_EQ(decimal, '.');
  ThousandSeparator = '.';
  DecimalSeparator = ',';
  EXPECT_EQ(FormatFloat("###,###.#", 1234.5), "1.234,5");
  ThousandSeparator = thousand;
  DecimalSeparator = decimal;
}

struct IntCase {
  const char* text;
  int value;  // 99 = the default
};

TEST(StrToIntDef, DecimalAndHexAsTheLibraryReads) {
  const IntCase cases[] = {
      {"0", 0},           {"42", 42},         {"-42", -42},        {"+7", 7},
      {" 12", 12},        {"$1F", 31},        {"0x1f", 31},        {"0X10", 16},
      {"$FFFFFFFF", -1},  {"2147483647", 2147483647},              {"-2147483648", int(0x80000000u)},
      {"2147483648", 99}, {"$100000000", 99}, {"", 99},            {"abc", 99},
      {"12abc", 99},      {"1.5", 99},        {"0x", 99},          {"$", 99},
      {"-", 99},          {"1 2", 99},
      // Blanks may lead, nothing may follow.
      {"  -5", -5},       {" $1F", 31},       {"9 ", 99},          {" 9 ", 99},
      {"9\t", 99},        {"0x1f ", 99},      {"-2 ", 99},         {"\t9", 99},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(StrToIntDef(c.text, 99), c.value) << "'" << c.text << "'";
    EXPECT_EQ(AnsiString(c.text).ToIntDef(99), c.value) << "'" << c.text << "'";
  }
  EXPECT_THROW(StrToInt("x1"), EConvertError);
  EXPECT_THROW(StrToInt("9 "), EConvertError);
  EXPECT_EQ(StrToInt64Def("9 ", 5), 5);
  EXPECT_EQ(StrToInt64Def("9223372036854775807", 0), 9223372036854775807LL);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 5), 5);
  EXPECT_EQ(StrToInt64Def("-$10", 0), -16);
}

TEST(NumberText, IntToStrFormatAndFloatToStr) {
  EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToStr(4000000001u), "4000000001");
  EXPECT_EQ(IntToStr(5000000000LL), "5000000000");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(Format("%s %d %s", "a", -3, "\xC7\xD1"), "a -3 \xC7\xD1");
  EXPECT_EQ(Format("%%%.2x", 0x7e), "%7e");
  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0.00001), "1E-5");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_DOUBLE_EQ(StrToFloat(" 2.25"), 2.25);
  EXPECT_THROW(StrToFloat("2,5x"), EConvertError);
  Exception e = Exception::CreateFmt("File %s: %d", "a.txt", 3);
  EXPECT_STREQ(e.what(), "File a.txt: 3");
  EXPECT_THROW(Abort(), EAbort);
  AnsiString text = SysErrorMessage(2);
  EXPECT_FALSE(text.IsEmpty());
  EXPECT_NE(text[text.Length()], '.') << "the system text loses its period and line break";
  EXPECT_NE(text[text.Length()], '\n');
}

TEST(DateTime, FileDatesAndFormat) {
  // 2024-02-29 13:45:58 as a DOS date-time.
  const int fileDate = int(((2024 - 1980) << 25) | (2 << 21) | (29 << 16) | (13 << 11) | (45 << 5) | (58 / 2));
  TDateTime dt = FileDateToDateTime(fileDate);
  EXPECT_EQ(DateTimeToFileDate(dt), fileDate);
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:nn:ss", dt), "2024-02-29 13:45:58");
  EXPECT_EQ(FormatDateTime("yy-m-d h:mm", dt), "24-2-29 13:45") << "m after h is minutes";
  EXPECT_EQ(FormatDateTime("ddd mmm \"at\" am/pm", dt), "Thu Feb at PM");
  EXPECT_EQ(FormatDateTime("yyyymmdd", 0), "18991230");
  EXPECT_THROW(FileDateToDateTime(int(((2024 - 1980) << 25) | (2 << 21) | (30 << 16))), EConvertError);
  EXPECT_EQ(DateTimeToFileDate(0), 0) << "before 1980 has no DOS date";
  TDateTime now = Now();
  EXPECT_GT(now, 45000.0);  // after 2023
}

}  // namespace
