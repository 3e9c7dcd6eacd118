#include "ConnectionState.h"

#include <windows.h>
#include <wininet.h>

int GetConnectionState(AnsiString* name) {
  DWORD flags = 0;
  char buffer[1024] = {};
  int result = InternetGetConnectedStateEx(&flags, buffer, sizeof(buffer), 0) ? int(flags) : 0;
  if (flags & INTERNET_CONNECTION_CONFIGURED) result = INTERNET_CONNECTION_CONFIGURED;
  if (name) *name = buffer;
  return result;
}
