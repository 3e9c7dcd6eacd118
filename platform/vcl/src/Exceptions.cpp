#include <cstdio>

#include "SysUtils.h"
#include "windows.h"

Exception Exception::CreateFmt(const char* format, ...) {
  AnsiString msg;
  va_list args;
  va_start(args, format);
  msg.vprintf(format, args);
  va_end(args);
  return Exception(msg);
}

void Abort() { throw EAbort("Operation aborted"); }

AnsiString SysErrorMessage(int errorCode) {
  char buffer[256] = {};
  DWORD len = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             nullptr, DWORD(errorCode), 0, buffer, sizeof buffer, nullptr);
  if (len > sizeof buffer) len = 0;
  // The system texts end in a period and a line break; the library shows them without.
  while (len > 0 && (static_cast<unsigned char>(buffer[len - 1]) <= ' ' || buffer[len - 1] == '.')) --len;
  return AnsiString(buffer, int(len));
}
