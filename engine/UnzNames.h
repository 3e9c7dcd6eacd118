// Entry names as the system sees them: converted to the system code page with "\" separators,
// checked so that nothing lands outside the extract folder, and matched against specifications.
#pragma once
#include <string>
#include "UnzArchive.h"

namespace zbe {

// The entry's name in code page 949 with "\" separators. UTF-8 names (bit 11, or a Unicode path
// field) are converted; others are code page 949 already, unless they are not valid code page
// 949 text but valid UTF-8.
std::string EntryNameToAnsi(const ZEntry& entry);

// Turns a stored name into a path relative to the extract folder: "." parts and empty parts
// dropped, ".." resolved. False when the name is absolute, names a drive or a share, holds a
// ':' (drive or stream) or a zero byte, or climbs out of the folder. An empty relative path
// names the extract folder itself.
bool SafeRelativeName(const std::string& name, std::string& relative);

// File specification match: "*" any run, "?" one character (a double-byte character counts as
// one), letters without regard to case, "/" and "\" alike. A specification without a folder
// part also matches the name part of an entry in any folder.
bool MatchSpec(const std::string& spec, const std::string& name);

// Position after the last "\" (0 when none), double-byte aware.
size_t NamePartStart(const std::string& path);

}  // namespace zbe
