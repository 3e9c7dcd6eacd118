// The items of a string list, for comparing with a list of expected texts.
#pragma once
#include <string>
#include <vector>

#include "Classes.h"

inline std::vector<std::string> Items(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i].str());
  return out;
}
