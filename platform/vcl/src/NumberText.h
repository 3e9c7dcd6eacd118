// Integer text as the class library reads it, shared by AnsiString and the SysUtils functions.
#pragma once
#include <string>

namespace vclimpl {

// Optional leading blanks, a sign, then decimal digits or "$"/"0x" hexadecimal. Hexadecimal text may
// fill all bits of the type (0xFFFFFFFF is -1 for 32 bits); decimal text must fit.
// Nothing may follow the digits, not even a blank.
bool ParseInt32(const std::string& text, int& out);
bool ParseInt64(const std::string& text, long long& out);

}  // namespace vclimpl
