// The class library as the system's units include it: the non-visual part, and the forms
// when the window layer is there.
#pragma once
#include "windows.h"
#include "SysUtils.h"
#include "Classes.h"
#include "IniFiles.h"
#include "Registry.h"
#if __has_include("Sysset.h")
#include "Sysset.h"
#endif
#if __has_include("Forms.h")
#include "Forms.h"
#endif
