// VERSION.DLL subset: the version record our resource compiler places in every file of ours.
// VerQueryValueA answers "\" (VS_FIXEDFILEINFO), "\VarFileInfo\Translation" (language word,
// code-page word: 0x0412, 949) and "\StringFileInfo\041203B5\<name>" (CP949 text; the length
// counts the closing zero).
#pragma once
#include "windef.h"

typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

// The file is a DOS path. GetFileVersionInfoA fails with ERROR_INSUFFICIENT_BUFFER when dwLen is
// below the size that GetFileVersionInfoSizeA gave.
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
