// qvrxupd.exe: the update helper that Movrant carries inside itself.
//
//   qvrxupd.exe <process id> <command> <package> [<package> ...]
//
// Waits for the process (0 = none) to end, unpacks every package (a zip archive) into the
// current folder, deletes the packages that unpacked, then runs the command
// ("NULL_PROGRAM_ISNT" = none). Movrant starts it with the program folder as current folder.
#include <windows.h>

#include <cstdio>

#include "Classes.h"
#include "SysUtils.h"
#include "HelperUnpack.h"

namespace {

const char* const kNoProgram = "NULL_PROGRAM_ISNT";

void Report(const AnsiString& text) { std::fprintf(stderr, "qvrxupd: %s\n", text.c_str()); }

// The updater ends through its message loop after starting us; its files can only be replaced
// once it is gone.
void WaitForProcess(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return;  // already gone
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}

bool RunCommand(const AnsiString& command) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = 1;  // SW_SHOWNORMAL
  PROCESS_INFORMATION pi = {};
  AnsiString line = command;
  if (!CreateProcessA(nullptr, line.c_str(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &si, &pi)) {
    Report(Format("cannot start [%s] (error %u)", command.c_str(), unsigned(GetLastError())));
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

int main(int, char**) {
  if (ParamCount() < 2) {
    Report("usage: qvrxupd.exe <process id> <command> <package> ...");
    return 2;
  }
  AnsiString pidText = ParamStr(1);
  int pid = StrToIntDef(pidText, -1);
  if (pid < 0) {
    Report(Format("not a process id: [%s]", pidText.c_str()));
    return 2;
  }
  AnsiString command = ParamStr(2);
  if (pid != 0) WaitForProcess(DWORD(pid));

  int failures = 0;
  AnsiString folder = GetCurrentDir();
  for (int i = 3; i <= ParamCount(); ++i) {
    AnsiString package = ParamStr(i);
    AnsiString error;
    if (UnpackPackage(package, folder, error)) {
      DeleteFile(package);
    } else {
      // The package stays where it is, so nothing is lost and the next run can try again.
      Report(Format("cannot unpack [%s]: %s", package.c_str(), error.c_str()));
      ++failures;
    }
  }

  // Restart even after a failed package: the old program is still whole and the user gets it back.
  if (command != kNoProgram && !command.IsEmpty()) {
    if (!RunCommand(command)) ++failures;
  }
  return failures ? 1 : 0;
}
