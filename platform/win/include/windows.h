// The Windows API subset the system calls. Window, shell and WinINet functions have headers of
// their own areas (winuser.h, shellapi.h, shlobj.h, wininet.h).
#pragma once
#include "windef.h"
#include "winbase.h"
#include "winreg.h"
#include "winver.h"
#if __has_include("winuser.h")
#include "winuser.h"
#endif
