// TMemIniFile over arbitrary text: the text as set from a list and as read from a file gives
// the same object; every section and key it lists can be read; a written value reads back;
// the text it gives out parses to the same sections and values again.
#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "FuzzSupport.h"
#include "IniFiles.h"
#include "SysUtils.h"

using fuzzsupport::Check;

namespace {

// Sections in order, each with its keys and the value ReadString gives for each.
std::string Describe(TMemIniFile& ini) {
  std::string out;
  TStringList sections, keys;
  ini.ReadSections(&sections);
  for (int s = 0; s < sections.Count(); ++s) {
    AnsiString section = sections.Get(s);
    Check(ini.SectionExists(section), "a listed section does not exist");
    out += "[" + section.str() + "]\n";
    keys.Clear();
    ini.ReadSection(section, &keys);
    for (int k = 0; k < keys.Count(); ++k) {
      AnsiString key = keys.Get(k);
      Check(ini.ValueExists(section, key), "a listed key has no value");
      out += key.str() + "=" + ini.ReadString(section, key, "\x01missing").str() + "\n";
      ini.ReadInteger(section, key, -7);
      ini.ReadBool(section, key, true);
    }
    TStringList values;
    ini.ReadSectionValues(section, &values);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& root = fuzzsupport::Root::Get();
  const std::string text(reinterpret_cast<const char*>(data), size);

  TStringList lines;
  lines.SetText(AnsiString(text));
  TMemIniFile fromList("");
  fromList.SetStrings(&lines);
  const std::string described = Describe(fromList);

  const auto file = root.Drive() / "text.ini";
  fuzzsupport::WriteUnix(file, text);
  {
    TMemIniFile fromFile(fuzzsupport::Root::Dos(file).c_str());
    Check(Describe(fromFile) == described, "the file and the same text as a list read differently");
  }

  TStringList out;
  fromList.GetStrings(&out);
  TMemIniFile again("");
  again.SetStrings(&out);
  Check(Describe(again) == described, "the text given out does not read back the same");

  // A write reads back, in an existing section and in a new one.
  TStringList sections;
  fromList.ReadSections(&sections);
  AnsiString section = sections.Count() > 0 ? sections.Get(0) : AnsiString("FUZZ");
  fromList.WriteString(section, "FUZZKEY", "value");
  Check(fromList.ReadString(section, "FUZZKEY", "") == "value", "a written value does not read back");
  fromList.DeleteKey(section, "FUZZKEY");
  Check(!fromList.ValueExists(section, "FUZZKEY"), "a deleted key still has a value");
  fromList.EraseSection(section);
  Check(!fromList.SectionExists(section), "an erased section still exists");
  return 0;
}
