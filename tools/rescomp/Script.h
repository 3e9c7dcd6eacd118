// The resource script: one resource per line, plus VERSION lines for the version record.
//
//   # comment (also ";" or "//" at the start of a line)
//   TITLE        BITMAP        bitmaps/title.bmp
//   TFRMLOGIN    RCDATA        layouts/FormLogin.dfm   TEXT
//   101          QuorvexWU_ER  "/abs/path/helper.bin"
//   VERSION FileVersion      1.0.0.1
//   VERSION FileDescription  "Movrant for Pavo"
//
// A resource line is: name, type, file, options. Name and type are a number (an integer id)
// or a word (kept upper-case, as the Windows resource compiler does); the types BITMAP, ICON,
// RCDATA and HTML stand for their standard ids. The file is relative to the script's folder
// unless absolute. Option TEXT converts the file from UTF-8 to code page 949. Tokens with
// blanks are written in double quotes; "" inside quotes is one quote.
//
// VERSION lines give the version record: FileVersion (dotted numbers, required), and
// ProductVersion set the numbers of the fixed block too; FileType APP or DLL goes into the fixed
// block only; every other key is a string value. Values are UTF-8, stored as code page 949.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace rescomp {

struct ScriptError : std::runtime_error {
  ScriptError(int line, const std::string& message)
      : std::runtime_error(message), line(line) {}
  int line;
};

struct ResourceLine {
  int line = 0;
  uint16_t typeId = 0;   // 0: typeName is used
  std::string typeName;
  uint16_t nameId = 0;   // 0: name is used
  std::string name;
  std::string file;      // as written
  bool text = false;
};

struct VersionLine {
  int line = 0;
  std::string key;
  std::string value;
};

struct Script {
  std::vector<ResourceLine> resources;
  std::vector<VersionLine> version;
};

// Throws ScriptError for a malformed line or a resource given twice.
Script ParseScript(const std::string& text);

// Splits a line into tokens (blanks separate, double quotes group).
std::vector<std::string> Tokenize(const std::string& line, int lineNo);

}  // namespace rescomp
