// Unpacking of one update package (a zip archive) with the zip engine's extraction code,
// linked in: the engine library itself may be one of the files a package replaces.
#pragma once
#include "AnsiString.h"

// Extracts every entry of archive into folder (stored folders kept, existing files replaced).
// False with a reason when the archive cannot be read or an entry was not written.
bool UnpackPackage(const AnsiString& archive, const AnsiString& folder, AnsiString& error);
