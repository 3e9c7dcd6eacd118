// "key=value" lines of a section, for every INI-style object: its key names, then each value.
#pragma once
#include "Classes.h"

namespace vclimpl {

template <class Ini>
void FillSectionValues(Ini& ini, const AnsiString& section, TStrings* strings) {
  TStringList names;
  ini.ReadSection(section, &names);
  strings->BeginUpdate();
  strings->Clear();
  for (int i = 0; i < names.Count(); ++i) strings->Add(names[i] + "=" + ini.ReadString(section, names[i], ""));
  strings->EndUpdate();
}

}  // namespace vclimpl
