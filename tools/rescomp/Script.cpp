#include "Script.h"

#include <cctype>
#include <set>
#include <tuple>

namespace rescomp {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool EqualsNoCase(const std::string& a, const char* b) { return Upper(a) == b; }

// A decimal or 0x number in 1..65535 names an integer id.
bool ParseId(const std::string& token, uint16_t& id) {
  if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0]))) return false;
  size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(token, &used, 0);
  } catch (const std::exception&) {
    return false;
  }
  if (used != token.size() || value == 0 || value > 0xFFFF) return false;
  id = uint16_t(value);
  return true;
}

struct StandardType {
  const char* word;
  uint16_t id;
};
constexpr StandardType kStandardTypes[] = {
    {"BITMAP", 2}, {"ICON", 3}, {"RCDATA", 10}, {"HTML", 23}};

}  // namespace

std::vector<std::string> Tokenize(const std::string& line, int lineNo) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    std::string token;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            token += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        token += line[i++];
      }
      if (!closed) throw ScriptError(lineNo, "unterminated quoted text");
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) token += line[i++];
    }
    tokens.push_back(token);
  }
  return tokens;
}

Script ParseScript(const std::string& text) {
  Script script;
  std::set<std::tuple<uint16_t, std::string, uint16_t, std::string>> seen;
  std::set<std::string> versionKeys;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    if (line[first] == '#' || line[first] == ';' || line.compare(first, 2, "//") == 0) continue;

    std::vector<std::string> tokens = Tokenize(line, lineNo);
    if (EqualsNoCase(tokens[0], "VERSION")) {
      if (tokens.size() != 3) throw ScriptError(lineNo, "VERSION needs a key and one value");
      if (!versionKeys.insert(Upper(tokens[1])).second)
        throw ScriptError(lineNo, "version key given twice: " + tokens[1]);
      script.version.push_back({lineNo, tokens[1], tokens[2]});
      continue;
    }
    if (tokens.size() < 3) throw ScriptError(lineNo, "expected: name type file [TEXT]");

    ResourceLine res;
    res.line = lineNo;
    if (!ParseId(tokens[0], res.nameId)) {
      if (std::isdigit(static_cast<unsigned char>(tokens[0][0])))
        throw ScriptError(lineNo, "resource id out of range: " + tokens[0]);
      res.name = Upper(tokens[0]);
    }
    if (!ParseId(tokens[1], res.typeId)) {
      if (std::isdigit(static_cast<unsigned char>(tokens[1][0])))
        throw ScriptError(lineNo, "resource type id out of range: " + tokens[1]);
      res.typeName = Upper(tokens[1]);
      for (const StandardType& t : kStandardTypes) {
        if (res.typeName == t.word) {
          res.typeId = t.id;
          res.typeName.clear();
        }
      }
      if (res.typeName == "VERSION") throw ScriptError(lineNo, "the version record is given by VERSION lines");
    }
    if (res.typeId == 16) throw ScriptError(lineNo, "the version record is given by VERSION lines");
    res.file = tokens[2];
    if (res.file.empty()) throw ScriptError(lineNo, "empty file name");
    for (size_t k = 3; k < tokens.size(); ++k) {
      if (EqualsNoCase(tokens[k], "TEXT"))
        res.text = true;
      else
        throw ScriptError(lineNo, "unknown option: " + tokens[k]);
    }
    if (!seen.insert({res.typeId, res.typeName, res.nameId, res.name}).second)
      throw ScriptError(lineNo, "resource given twice: " + tokens[0] + " " + tokens[1]);
    script.resources.push_back(res);
  }
  return script;
}

}  // namespace rescomp
