// File and path functions of the zip component. Paths are code page 949 bytes; where noted the
// functions step over double-byte characters, whose second byte may look like a separator.
#pragma once
#include <cstdint>

#include "SysUtils.h"

enum TDeleteOpts : uint8_t { htdFinal, htdAllowUndo };

// Closes h unless it is -1, and marks it free (-1).
void CloseFileHandle(int& h);
// Closes a handle on every way out of a scope.
struct HandleCloser {
  int& h;
  ~HandleCloser() { CloseFileHandle(h); }
};
// The path ending (add) or not ending (!add) in one separator; double-byte aware.
AnsiString DelimitPath(const AnsiString& path, bool add);
// True for an empty name, else when the name is an existing folder.
bool DirExists(const AnsiString& name);
// Deletes a file through the shell (to the recycle bin with htdAllowUndo). -1 when it does not
// exist, else the shell's result (0 = success).
int EraseFile(const AnsiString& fileName, TDeleteOpts how);
// Creates a folder and every missing parent.
bool ForceDirectory(const AnsiString& folder);
// path and name joined with exactly one backslash.
AnsiString PathConcat(const AnsiString& path, const AnsiString& name);
// Every "/" turned into "\", double-byte aware.
AnsiString SetSlash(const AnsiString& path);
