// SHELL32's folder browser and item lists, the shell's allocator and desktop folder, and the
// version record of the shell library (DllGetVersion of "Shell32.dll").
#pragma once
#include "unknwn.h"

struct IMalloc : IUnknown {
  virtual void* WINAPI Alloc(SIZE_T cb) = 0;
  virtual void* WINAPI Realloc(void* pv, SIZE_T cb) = 0;
  virtual void WINAPI Free(void* pv) = 0;
  virtual SIZE_T WINAPI GetSize(void* pv) = 0;
  virtual int WINAPI DidAlloc(void* pv) = 0;
  virtual void WINAPI HeapMinimize() = 0;
};
typedef IMalloc* LPMALLOC;

#pragma pack(push, 1)
typedef struct _SHITEMID {
  USHORT cb;
  BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
  SHITEMID mkid;
} ITEMIDLIST;
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

#define STRRET_WSTR 0
#define STRRET_OFFSET 1
#define STRRET_CSTR 2
typedef struct _STRRET {
  UINT uType;
  union {
    LPWSTR pOleStr;
    UINT uOffset;
    char cStr[MAX_PATH];
  };
} STRRET;
#define SHGDN_NORMAL 0
#define SHGDN_INFOLDER 1
#define SHGDN_FORPARSING 0x8000
typedef ULONG SFGAOF;

struct IShellFolder : IUnknown {
  virtual HRESULT WINAPI ParseDisplayName(HWND hwnd, void* pbc, LPWSTR pszDisplayName, ULONG* pchEaten,
                                          LPITEMIDLIST* ppidl, ULONG* pdwAttributes) = 0;
  virtual HRESULT WINAPI EnumObjects(HWND hwnd, DWORD grfFlags, void** ppenumIDList) = 0;
  virtual HRESULT WINAPI BindToObject(LPCITEMIDLIST pidl, void* pbc, REFIID riid, void** ppv) = 0;
  virtual HRESULT WINAPI BindToStorage(LPCITEMIDLIST pidl, void* pbc, REFIID riid, void** ppv) = 0;
  virtual HRESULT WINAPI CompareIDs(LPARAM lParam, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) = 0;
  virtual HRESULT WINAPI CreateViewObject(HWND hwndOwner, REFIID riid, void** ppv) = 0;
  virtual HRESULT WINAPI GetAttributesOf(UINT cidl, LPCITEMIDLIST* apidl, SFGAOF* rgfInOut) = 0;
  virtual HRESULT WINAPI GetUIObjectOf(HWND hwndOwner, UINT cidl, LPCITEMIDLIST* apidl, REFIID riid, UINT* rgfReserved,
                                       void** ppv) = 0;
  virtual HRESULT WINAPI GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD uFlags, STRRET* pName) = 0;
  virtual HRESULT WINAPI SetNameOf(HWND hwnd, LPCITEMIDLIST pidl, LPCWSTR pszName, DWORD uFlags,
                                   LPITEMIDLIST* ppidlOut) = 0;
};
typedef IShellFolder* LPSHELLFOLDER;

HRESULT WINAPI SHGetMalloc(LPMALLOC* ppMalloc);
HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf);
// CSIDL_DESKTOP (the tree's root, an empty list) and CSIDL_DRIVES (the drives of the drive
// table with their labels); the other special folders fail with E_FAIL.
HRESULT WINAPI SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl);
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR pszPath);
HRESULT WINAPI StrRetToBufA(STRRET* pstr, LPCITEMIDLIST pidl, LPSTR pszBuf, UINT cchBuf);

#define CSIDL_DESKTOP 0x0000
#define CSIDL_INTERNET 0x0001
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_CONTROLS 0x0003
#define CSIDL_PRINTERS 0x0004
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_RECENT 0x0008
#define CSIDL_SENDTO 0x0009
#define CSIDL_BITBUCKET 0x000a
#define CSIDL_STARTMENU 0x000b
#define CSIDL_MYDOCUMENTS 0x000c
#define CSIDL_MYMUSIC 0x000d
#define CSIDL_MYVIDEO 0x000e
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_DRIVES 0x0011
#define CSIDL_NETWORK 0x0012
#define CSIDL_NETHOOD 0x0013
#define CSIDL_FONTS 0x0014
#define CSIDL_TEMPLATES 0x0015
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_PRINTHOOD 0x001b
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_ALTSTARTUP 0x001d
#define CSIDL_COMMON_ALTSTARTUP 0x001e
#define CSIDL_COMMON_FAVORITES 0x001f
#define CSIDL_INTERNET_CACHE 0x0020
#define CSIDL_COOKIES 0x0021
#define CSIDL_HISTORY 0x0022
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_MYPICTURES 0x0027
#define CSIDL_PROFILE 0x0028
#define CSIDL_SYSTEMX86 0x0029
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_PROGRAM_FILES_COMMONX86 0x002c
#define CSIDL_COMMON_TEMPLATES 0x002d
#define CSIDL_COMMON_DOCUMENTS 0x002e
#define CSIDL_COMMON_ADMINTOOLS 0x002f
#define CSIDL_ADMINTOOLS 0x0030
#define CSIDL_CONNECTIONS 0x0031
#define CSIDL_COMMON_MUSIC 0x0035
#define CSIDL_COMMON_PICTURES 0x0036
#define CSIDL_COMMON_VIDEO 0x0037
#define CSIDL_RESOURCES 0x0038
#define CSIDL_RESOURCES_LOCALIZED 0x0039
#define CSIDL_COMMON_OEM_LINKS 0x003a
#define CSIDL_CDBURN_AREA 0x003b
#define CSIDL_COMPUTERSNEARME 0x003d

// The folder browser
typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);
typedef struct _browseinfoA {
  HWND hwndOwner;
  LPCITEMIDLIST pidlRoot;
  LPSTR pszDisplayName;  // MAX_PATH bytes
  LPCSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;
typedef BROWSEINFOA BROWSEINFO;
#define BIF_RETURNONLYFSDIRS 0x0001
#define BIF_DONTGOBELOWDOMAIN 0x0002
#define BIF_STATUSTEXT 0x0004
#define BIF_RETURNFSANCESTORS 0x0008
#define BIF_EDITBOX 0x0010
#define BIF_VALIDATE 0x0020
#define BIF_NEWDIALOGSTYLE 0x0040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_BROWSEINCLUDEURLS 0x0080
#define BIF_UAHINT 0x0100
#define BIF_NONEWFOLDERBUTTON 0x0200
#define BIF_NOTRANSLATETARGETS 0x0400
#define BIF_BROWSEFORCOMPUTER 0x1000
#define BIF_BROWSEFORPRINTER 0x2000
#define BIF_BROWSEINCLUDEFILES 0x4000
#define BIF_SHAREABLE 0x8000
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_VALIDATEFAILEDA 3
#define BFFM_SETSTATUSTEXTA (WM_USER + 100)
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONA (WM_USER + 102)
#ifndef WM_USER
#define WM_USER 0x0400
#endif
// Shows the folder dialog modally; the chosen item (the caller frees it with the shell's
// allocator) or null when cancelled.
LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi);
#define SHBrowseForFolder SHBrowseForFolderA
#define SHGetPathFromIDList SHGetPathFromIDListA

// The version record of a system library
typedef struct _DLLVERSIONINFO {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
} DLLVERSIONINFO;
#define DLLVER_PLATFORM_WINDOWS 0x00000001
#define DLLVER_PLATFORM_NT 0x00000002
typedef HRESULT(CALLBACK* DLLGETVERSIONPROC)(DLLVERSIONINFO*);
