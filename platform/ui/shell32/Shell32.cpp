// "Shell32.dll": the shell library's version record. The shell answers 6.0; an environment
// variable gives tests an older shell ("4.71", "5.0") or none at all ("none").
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shlobj.h"

extern "C" __attribute__((visibility("default"))) HRESULT DllGetVersion(DLLVERSIONINFO* info) {
  if (!info || info->cbSize < sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  unsigned major = 6, minor = 0;
  if (const char* v = std::getenv("WINPLAT_SHELL_VERSION"); v && *v) {
    if (std::strcmp(v, "none") == 0) return E_FAIL;
    if (std::sscanf(v, "%u.%u", &major, &minor) < 1) return E_FAIL;
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = 2900;
  info->dwPlatformID = DLLVER_PLATFORM_NT;
  return S_OK;
}
