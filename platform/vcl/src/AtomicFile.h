// Replacing a whole file so that it is never seen half written.
#pragma once
#include <string>

#include "AnsiString.h"

namespace vclimpl {

// Writes the bytes to a new temporary file in the target's folder, flushes it and renames it
// over the target (winplat::ReplaceFileBytes, which also clears what killed writers left). On
// any failure the target is untouched, the temporary file is removed and EFCreateError is raised.
void ReplaceFile(const AnsiString& fileName, const std::string& bytes);

}  // namespace vclimpl
