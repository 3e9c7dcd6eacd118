// The drive table (letters over Unix folders) and the drive functions that answer from it.
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>
#include "Internal.h"

namespace winplat {

namespace {

std::mutex g_driveMutex;
std::vector<Drive> g_drives;
bool g_drivesLoaded = false;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string StripSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// /proc/mounts writes blanks and backslashes in names as octal escapes.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    bool octal = field[i] == '\\' && i + 3 < field.size() + 1 &&
                 field.find_first_not_of("01234567", i + 1) >= i + 4;
    if (octal) {
      out += static_cast<char>(strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

void AddDrive(std::vector<Drive>& drives, char letter, const std::string& root, UINT type,
              const std::string& label, long long freeBytes = -1) {
  letter = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
  if (letter < 'A' || letter > 'Z' || root.empty() || root[0] != '/') return;
  for (Drive& d : drives)
    if (d.letter == letter) {
      d = Drive{letter, StripSlashes(root), type, label, freeBytes};
      return;
    }
  drives.push_back(Drive{letter, StripSlashes(root), type, label, freeBytes});
}

}  // namespace

UINT ParseDriveType(const std::string& word) {
  std::string w;
  for (char c : word) w += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (w == "fixed") return DRIVE_FIXED;
  if (w == "removable") return DRIVE_REMOVABLE;
  if (w == "cdrom") return DRIVE_CDROM;
  if (w == "ramdisk") return DRIVE_RAMDISK;
  if (w == "remote") return DRIVE_REMOTE;
  return DRIVE_UNKNOWN;
}

std::vector<Drive> ParseDriveTable(const std::string& text) {
  std::vector<Drive> drives;
  std::stringstream entries(text);
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    entry = Trim(entry);
    size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    std::string letter = Trim(entry.substr(0, eq));
    if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
    if (letter.size() != 1) continue;
    std::vector<std::string> fields;
    std::stringstream rest(entry.substr(eq + 1));
    std::string field;
    while (std::getline(rest, field, ',')) fields.push_back(field);
    if (fields.empty()) continue;
    UINT type = fields.size() > 1 ? ParseDriveType(Trim(fields[1])) : DRIVE_FIXED;
    if (type == DRIVE_UNKNOWN) continue;
    // The environment is UTF-8; labels are seen by the system in code page 949.
    std::string label = fields.size() > 2 ? Utf8ToCp949(Trim(fields[2])) : "";
    // A small drive for tests: the free space it reports, in bytes.
    long long freeBytes = -1;
    if (fields.size() > 3) {
      std::string n = Trim(fields[3]);
      char* end = nullptr;
      long long v = std::strtoll(n.c_str(), &end, 10);
      if (!n.empty() && *end == 0 && v >= 0) freeBytes = v;
    }
    AddDrive(drives, letter[0], Trim(fields[0]), type, label, freeBytes);
  }
  return drives;
}

std::vector<Drive> DefaultDrives(const std::string& mountsText) {
  std::vector<Drive> drives;
  drives.push_back(Drive{'C', "/", DRIVE_FIXED, ""});
  std::stringstream lines(mountsText);
  std::string line;
  std::vector<std::string> seen;
  char next = 'D';
  while (std::getline(lines, line) && next <= 'Z') {
    std::stringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    mountPoint = UnescapeMountField(mountPoint);
    bool removable = mountPoint.rfind("/media/", 0) == 0 || mountPoint.rfind("/run/media/", 0) == 0;
    if (!removable) continue;
    bool dup = false;
    for (const std::string& s : seen) dup = dup || s == mountPoint;
    if (dup) continue;
    seen.push_back(mountPoint);
    // Media are mounted at a folder named after their label.
    std::string label = mountPoint.substr(mountPoint.find_last_of('/') + 1);
    drives.push_back(Drive{next++, StripSlashes(mountPoint), DRIVE_REMOVABLE, Utf8ToCp949(label)});
  }
  return drives;
}

namespace {

void LoadDrivesLocked() {
  const char* env = getenv("WINPLAT_DRIVES");
  if (env && *env) {
    g_drives = ParseDriveTable(env);
  } else {
    std::ifstream mounts("/proc/mounts");
    std::stringstream text;
    text << mounts.rdbuf();
    g_drives = DefaultDrives(text.str());
  }
  g_drivesLoaded = true;
}

}  // namespace

void ReloadDrives() {
  {
    std::lock_guard<std::mutex> lock(g_driveMutex);
    LoadDrivesLocked();
  }
  // The DOS name of the current folder depends on the table.
  ForgetCurrentDos();
}

void SetDrive(char letter, const std::string& unixFolder, UINT type, const std::string& label) {
  std::lock_guard<std::mutex> lock(g_driveMutex);
  if (!g_drivesLoaded) LoadDrivesLocked();
  AddDrive(g_drives, letter, unixFolder, type, label);
}

std::vector<Drive> Drives() {
  std::lock_guard<std::mutex> lock(g_driveMutex);
  if (!g_drivesLoaded) LoadDrivesLocked();
  return g_drives;
}

bool FindDrive(char letter, Drive& drive) {
  letter = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
  for (const Drive& d : Drives())
    if (d.letter == letter) {
      drive = d;
      return true;
    }
  return false;
}

}  // namespace winplat

using namespace winplat;

namespace {

// "X:", "X:\" (or "X:/"); null means the drive of the current folder.
bool RootLetter(LPCSTR root, char& letter) {
  std::string path;
  if (!root) {
    char buffer[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    path = std::string(buffer, 3);
  } else {
    path = root;
  }
  if (path.size() < 2 || path[1] != ':' || !isalpha(static_cast<unsigned char>(path[0]))) return false;
  if (path.size() > 3 || (path.size() == 3 && path[2] != '\\' && path[2] != '/')) return false;
  letter = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
  return true;
}

std::atomic<UINT> g_errorMode{0};

}  // namespace

DWORD WINAPI GetLogicalDrives(void) {
  DWORD mask = 0;
  for (const Drive& d : winplat::Drives()) mask |= 1u << (d.letter - 'A');
  return mask;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
  char letter;
  Drive drive;
  if (!RootLetter(lpRootPathName, letter) || !FindDrive(letter, drive)) return DRIVE_NO_ROOT_DIR;
  return drive.type;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer,
                                  DWORD nFileSystemNameSize) {
  char letter;
  Drive drive;
  if (!RootLetter(lpRootPathName, letter) || !FindDrive(letter, drive)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  // A removable drive without its medium: the folder is gone.
  if (!IsDirectory(drive.root)) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  const char* fsName = drive.type == DRIVE_REMOVABLE ? "FAT32" : drive.type == DRIVE_CDROM ? "CDFS" : "NTFS";
  if ((lpVolumeNameBuffer && nVolumeNameSize <= drive.label.size()) ||
      (lpFileSystemNameBuffer && nFileSystemNameSize <= strlen(fsName))) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (lpVolumeNameBuffer) memcpy(lpVolumeNameBuffer, drive.label.c_str(), drive.label.size() + 1);
  if (lpFileSystemNameBuffer) memcpy(lpFileSystemNameBuffer, fsName, strlen(fsName) + 1);
  if (lpVolumeSerialNumber) {
    // Stable for a drive as long as the same folder stands behind it.
    uint32_t hash = 2166136261u;
    std::string key = std::string(1, drive.letter) + drive.root;
    for (unsigned char c : key) hash = (hash ^ c) * 16777619u;
    *lpVolumeSerialNumber = hash;
  }
  if (lpMaximumComponentLength) *lpMaximumComponentLength = 255;
  if (lpFileSystemFlags) *lpFileSystemFlags = drive.type == DRIVE_REMOVABLE ? 0x00000002 : 0x00000007;
  return TRUE;
}

namespace {

bool DiskStats(LPCSTR path, struct statvfs& st) {
  std::string unixPath;
  if (!path) {
    char buffer[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    if (!MapPath(buffer, unixPath)) return false;
  } else if (!MapPath(path, unixPath)) {
    return false;
  }
  if (statvfs(unixPath.c_str(), &st) != 0) {
    SetErrorFromErrno(errno == ENOENT ? ENOTDIR : errno);
    return false;
  }
  return true;
}

}  // namespace

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  struct statvfs st;
  if (!DiskStats(lpDirectoryName, st)) return FALSE;
  char letter = 0;
  Drive drive;
  std::string root = lpDirectoryName ? std::string(lpDirectoryName).substr(0, 3) : std::string();
  if (RootLetter(root.empty() ? nullptr : root.c_str(), letter) && FindDrive(letter, drive) && drive.freeBytes >= 0) {
    ULONGLONG n = static_cast<ULONGLONG>(drive.freeBytes);
    if (lpFreeBytesAvailableToCaller) lpFreeBytesAvailableToCaller->QuadPart = n;
    if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = n;
    if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = n;
    return TRUE;
  }
  if (lpFreeBytesAvailableToCaller)
    lpFreeBytesAvailableToCaller->QuadPart = static_cast<ULONGLONG>(st.f_bavail) * st.f_frsize;
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = static_cast<ULONGLONG>(st.f_blocks) * st.f_frsize;
  if (lpTotalNumberOfFreeBytes)
    lpTotalNumberOfFreeBytes->QuadPart = static_cast<ULONGLONG>(st.f_bfree) * st.f_frsize;
  return TRUE;
}

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                              LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters) {
  struct statvfs st;
  if (!DiskStats(lpRootPathName, st)) return FALSE;
  const ULONGLONG cluster = 4096;
  auto clusters = [&](ULONGLONG blocks) {
    ULONGLONG n = blocks * st.f_frsize / cluster;
    return static_cast<DWORD>(n > 0xFFFFFFFFull ? 0xFFFFFFFFull : n);
  };
  if (lpSectorsPerCluster) *lpSectorsPerCluster = 8;
  if (lpBytesPerSector) *lpBytesPerSector = 512;
  if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = clusters(st.f_bavail);
  if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = clusters(st.f_blocks);
  return TRUE;
}

UINT WINAPI SetErrorMode(UINT uMode) { return g_errorMode.exchange(uMode); }
