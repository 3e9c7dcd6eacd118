// What the layer adds beyond the Windows API: the drive table and the mapping between DOS
// paths (code page 949 bytes) and Unix paths (UTF-8), for the layer itself and for tests.
#pragma once
#include <string>
#include <vector>
#include "windef.h"

namespace winplat {

struct Drive {
  char letter;       // 'A'..'Z'
  std::string root;  // Unix folder (UTF-8), no trailing '/' except for "/"
  UINT type;         // DRIVE_FIXED, DRIVE_REMOVABLE, ...
  std::string label; // volume label (code page 949)
  long long freeBytes = -1;  // free space the drive reports instead of its folder's (-1: the real)
};

// The drive table now in use.
std::vector<Drive> Drives();
// Parses a table in WINPLAT_DRIVES form ("C=/,fixed;E=/tmp/usb,removable,NAVI"); entries that
// do not parse are skipped.
std::vector<Drive> ParseDriveTable(const std::string& text);
// The table without WINPLAT_DRIVES: C: is "/", then every medium mounted under /media or
// /run/media (lines of /proc/mounts) gets the next letter from D: as a removable drive.
std::vector<Drive> DefaultDrives(const std::string& mountsText);

// Reads the table again from WINPLAT_DRIVES (or the defaults).
void ReloadDrives();
// Changes the medium behind a drive (folder and label) while the program runs: tests use it
// to swap removable disks during a prompt.
void SetDrive(char letter, const std::string& unixFolder, UINT type, const std::string& label);

// "C:\dir\File.TXT" -> the Unix path, each component matched exactly first, else ignoring case.
// Components that do not exist yet keep the name as written. Empty when the drive is unknown.
std::string DosToUnix(const std::string& dosPath);
// A Unix path inside one of the drives' folders -> its DOS path; empty when outside every drive.
std::string UnixToDos(const std::string& unixPath);

// What a DOS path leads to, equal for every spelling that reaches it (letter case, a link,
// another drive rooted in the same folder): the device and file number of the file or folder.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long file = 0;
  bool operator==(const FileIdentity&) const = default;
};
// False when nothing is there.
bool GetFileIdentity(const std::string& dosPath, FileIdentity& identity);
// The identity of each start of a DOS path, the drive's root first ("C:\", "C:\dir",
// "C:\dir\file"), up to the first that does not exist.
std::vector<FileIdentity> GetPathIdentities(const std::string& dosPath);

// Replaces a file's whole content so that it is never seen half written: the bytes go to
// "<file>.tmp-PID-N" beside it, which is synced and renamed over the file. Such files that
// writers killed before their rename left behind are removed first; a live writer's stay.
// False with GetLastError set on failure, the old file then untouched.
bool ReplaceFileBytes(const std::string& dosPath, const std::string& bytes);

// How many texts of files the profile functions have parsed so far: each version of a file is
// parsed once, which tests check by this count.
unsigned long ProfileTextsParsed();

// A name part that Windows reads as a device, so that no file or folder of that name can be
// made or opened: CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 in any case, also with an
// extension ("con.txt") and with the blanks and dots Windows drops at the end of the name or
// before the extension ("NUL. ", "aux .log"). The file functions refuse a path holding one
// with ERROR_INVALID_NAME.
bool IsReservedDeviceName(const std::string& namePart);

// Splits a command line as Windows programs do: blanks separate arguments, double quotes group;
// 2n backslashes before a quote give n and the quote acts, 2n+1 give n and a literal quote;
// other backslashes are literal; "" inside quotes is a literal quote. The program name (first
// item) is taken up to the next blank, quotes grouping, backslashes literal.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The reverse: one argument quoted so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(const std::string& argument);

// Code page 949 <-> UTF-8 (invalid input becomes '?').
std::string Cp949ToUtf8(const std::string& text);
std::string Utf8ToCp949(const std::string& text);
std::wstring Cp949ToWide(const std::string& text);
std::string WideToCp949(const std::wstring& text);

// Module handles are dlopen handles (LoadLibraryA). Null, and the handle that stands for the
// program itself (GetModuleHandleA(NULL) = dlopen(NULL)), mean the running program. Gives the
// module's file and the offset it was loaded at; false when dlinfo knows no such module.
// Written in platform/res (resources are read from the module's "winres" section).
struct ModuleImage {
  std::string path;      // Unix path of the module's file
  uintptr_t bias = 0;    // load address minus link address
  bool program = false;  // the running program itself (its file is also /proc/self/exe)
};
// False for the handles of the Windows system libraries that the layer answers for itself.
bool GetModuleImage(HMODULE module, ModuleImage& image);
// A handle of such a system library (GetModuleHandleA("kernel32")): no file of its own, its
// entries are the layer's functions. Written in platform/win.
bool IsSystemModule(HMODULE module);

}  // namespace winplat
