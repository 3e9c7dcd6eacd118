// update-site SITE PROGRAM VERSION
// Adds Movrant's own update lists to the generated sample site, next to the empty default list:
//   update.quorvex.example/pavo/_Movrant_data/     a list whose package updates a data file
//   update.quorvex.example/pavo/_Movrant_program/  a list whose package holds PROGRAM (a build of
//                                                   MovrantPavo.exe with file version VERSION)
// Packages are zip archives made with Info-ZIP's zip; the data file's check value is computed
// with the program's own FileChecksum, so the list and the installed file agree after the update.
#include <sys/time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "QuorvexUtil.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

void Fail(const std::string& message) {
  std::cerr << "update-site: " << message << std::endl;
  std::exit(1);
}

void WriteFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
  if (!out) Fail("cannot write " + path.string());
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Zips `file` (stored under its own name) into `archive`, with a fixed time so that builds agree.
void Zip(const fs::path& file, const fs::path& archive) {
  timeval times[2] = {{1795996800, 0}, {1795996800, 0}};
  utimes(file.c_str(), times);
  fs::remove(archive);
  std::string command = "cd " + Quote(file.parent_path().string()) + " && zip -q -X -D " +
                        Quote(archive.string()) + " " + Quote(file.filename().string());
  if (std::system(command.c_str()) != 0) Fail("zip failed: " + command);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: update-site SITE PROGRAM VERSION" << std::endl;
    return 2;
  }
  fs::path site = argv[1], program = argv[2];
  std::string version = argv[3];
  fs::path base = site / "update.quorvex.example" / "pavo";
  if (!fs::is_directory(base)) Fail("no update host in " + site.string());
  fs::path work = site.parent_path() / (site.filename().string() + ".update-work");
  fs::remove_all(work);
  fs::create_directories(work);

  // A data file, as the program keeps it next to itself (code page 949 text).
  fs::path data = work / "MovrantNotice.txt";
  WriteFile(data, winplat::Utf8ToCp949("Movrant 공지\r\n새 업데이트 목록으로 받은 자료 파일입니다.\r\n"));
  unsigned int check = 0;
  if (!FileChecksum(winplat::UnixToDos(data.string()), check)) Fail("cannot read " + data.string());
  fs::path dataList = base / "_Movrant_data";
  fs::create_directories(dataList);
  Zip(data, dataList / "MovrantNotice.zip");
  WriteFile(dataList / "Movrant.inf",
            "; Movrant self-update list: one data file, replaced while its check value differs\r\n"
            "[FILE_MovrantNotice.txt]\r\n"
            "CAB=MovrantNotice.zip\r\n"
            "CRC=" + std::to_string(int(check)) + "\r\n"
            "\r\n"
            "[FORCE_DIRECTORY]\r\n"
            "1=Notice\r\n");

  // The program itself: a newer build under the program's file name.
  fs::path exe = work / "MovrantPavo.exe";
  fs::copy_file(program, exe, fs::copy_options::overwrite_existing);
  fs::path programList = base / "_Movrant_program";
  fs::create_directories(programList);
  Zip(exe, programList / "MovrantPavo.zip");
  WriteFile(programList / "Movrant.inf",
            "; Movrant self-update list: a newer MovrantPavo.exe, which needs a restart\r\n"
            "[FILE_MovrantPavo.exe]\r\n"
            "CAB=MovrantPavo.zip\r\n"
            "VERSION=" + version + "\r\n");

  fs::remove_all(work);
  return 0;
}
