// A program for the process tests: "exit N", "sleep MS" or "report FILE" (writes its command
// line, arguments, folder and one variable to FILE).
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "windows.h"

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  std::string mode = argv[1];
  if (mode == "exit" && argc > 2) return atoi(argv[2]);
  if (mode == "sleep" && argc > 2) {
    Sleep(static_cast<DWORD>(atoi(argv[2])));
    return 0;
  }
  if (mode == "report" && argc > 2) {
    std::string out = std::string(GetCommandLineA()) + "\n";
    for (int i = 0; i < argc; ++i) out += std::string(argv[i]) + "\n";
    char cwd[4096];
    out += std::string(getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    const char* value = getenv("WINPLAT_TEST_VALUE");
    out += std::string(value ? value : "(unset)") + "\n";
    // The file is named by a DOS path.
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 102;
    DWORD written = 0;
    WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
  }
  return 101;
}
