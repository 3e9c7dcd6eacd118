// Message texts of the zip component: numbered texts from a packed string-table image, the
// compiled-in English table, optional language tables, and a hook that may replace any text.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "Classes.h"

// A table in memory: the string-table image read as 16-bit units, then one unit 0xFFFF.
// Empty = no table.
typedef std::vector<uint16_t> TZipMsgTable;

// Replaces texts: called with the id and a copy of the text; a non-empty answer wins.
typedef std::function<void(int Id, AnsiString& Text)> TZipMsgHook;
void SetZipMsgHook(TZipMsgHook hook);

// One argument of a message text: an integer or a string.
class TZipFmtArg {
 public:
  TZipFmtArg(int v) : FIsText(false), FNumber(v) {}
  TZipFmtArg(unsigned v) : FIsText(false), FNumber(v) {}
  TZipFmtArg(long long v) : FIsText(false), FNumber(v) {}
  TZipFmtArg(const AnsiString& s) : FIsText(true), FText(s) {}
  TZipFmtArg(const char* s) : FIsText(true), FText(s) {}
  bool IsText() const { return FIsText; }
  long long Number() const { return FNumber; }
  const AnsiString& Text() const { return FText; }

 private:
  bool FIsText;
  long long FNumber = 0;
  AnsiString FText;
};

// Formats a message text the way the class library's Format does for %d, %u, %x and %s
// (flags, width and precision included; %% is a percent sign). Texts may come from outside
// the program (language tables, the hook), so a placeholder never reads past the arguments:
// one without an argument stays as written, and a number meets %s as its decimal text.
AnsiString ZipFormat(const AnsiString& format, const std::vector<TZipFmtArg>& args);

// The text of a message id; never empty ("Resource missing for " and the id as a last resort).
AnsiString LoadZipStr(int id);
// The text formatted once with the whole argument list.
AnsiString LoadZipStrFmt(int id, const std::vector<TZipFmtArg>& args);

// Selects a language table by name, decimal language id or "*" (the user's default language).
// Returns the name of the table selected, or an empty text when the compiled-in one is in use.
AnsiString SetZipMsgLanguage(const AnsiString& language);
// Index 0: the name of the table in use ("US: default" for the compiled-in table).
AnsiString ZipMsgLanguageInfo(int index);

// Reads the packed table at the stream's position into table; the table's language id on
// success, else 0 or the negative expansion result (table empty).
int LoadZipMsgTable(TZipMsgTable& table, TStream* stream);
// Finds the packed table for a name or language id from the stream's position; on success the
// stream stands at that table and name and id are the table's.
bool FindZipMsgTable(TStream* stream, AnsiString& name, int& id);
// The text of id in table, or an empty text.
AnsiString LookupZipMsg(const TZipMsgTable& table, int id);

// Expands an LZSS stream of packedSize bytes (its 4-byte unpacked size included) from src.
// 0: all input used and the size matches; -2: all input used, size differs; -1: src ended first.
int LzssExpand(TStream* src, std::vector<uint8_t>& dst, int packedSize);

// Id of the optional language resource (RCDATA) holding further packed tables.
constexpr int ZIP_MSG_LANGUAGE_RESOURCE = 11610;
