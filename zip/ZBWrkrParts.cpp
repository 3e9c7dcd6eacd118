// Multi-part archives: finding and opening the last part, naming and opening the other parts,
// checking the drive and asking the user for a disk.
#include "ZBWrkr.h"
#include "windows.h"

#ifndef FILE_READ_ONLY_VOLUME
#define FILE_READ_ONLY_VOLUME 0x00080000
#endif

namespace {

// Part n (0-based) as the three digits written into names: 001 for part 0; part 999 wraps.
AnsiString PartNumber(int part) { return IntToStr(part + 1001).SubString(2, 3); }

const char* const kVolumeLabelPrefix = "PKBACK# ";

}  // namespace

bool TZBWorker::IsHardDrive() const {
  const UINT type = GetDriveTypeA(DriveRoot.c_str());
  return type != DRIVE_REMOVABLE && type != DRIVE_CDROM;
}

int TZBWorker::GetLastVolume(const AnsiString& archive, ZipEndOfCentral& eoc, bool quiet) {
  FileHandle = -1;
  AnsiString name = archive;
  DriveRoot = ExtractFileDrive(ExpandFileName(name)) + "\\";
  const AnsiString ext = UpperCase(ExtractFileExt(name));
  const AnsiString dir = ExtractFilePath(name);
  const AnsiString base = ChangeFileExt(name, "");
  bool resolved = false;
  NamingMode = 0;
  int k = -1;
  HardDrive = IsHardDrive();
  // A file without an end record on a hard disk is reported even by a quiet caller.
  bool reportAlways = false;
  try {
    // An unreadable drive is reported unless the caller is quiet: the join counts on a report
    // for every failure.
    if (!CheckDrive()) {
      if (quiet) return -1;
      throw EZipBuilder::CreateFromId(11002, true);
    }
    if (!FileExists(name)) {
      resolved = true;
      if (HardDrive) {
        bool found = false;
        if (ext == ".ZIP") {
          for (k = 0;; ++k) {
            const AnsiString probe = base + PartNumber(k) + ".zip";
            if (!FileExists(probe)) break;
            NameInUse = probe;
            ZipEndOfCentral probed;
            if (OpenEOC(probed)) {
              CloseFileHandle(FileHandle);
              found = probed.ThisDiskNo == k;
              if (found) name = probe;
              break;
            }
          }
        }
        if (!found) {
          if (quiet) return 1;
          throw EZipBuilder::CreateFromId(11002, true);
        }
        if (FileExists(base + PartNumber(k) + ".z01")) throw EZipBuilder::CreateFromId(11002, true);
      } else {
        AnsiString found = FindLastPart(base, false);
        if (found.IsEmpty()) found = FindLastPart(base, true);
        if (found.IsEmpty()) {
          if (quiet) return 1;
          throw EZipBuilder::CreateFromId(11002, true);
        }
        name = dir + found;
      }
    }

    NameInUse = name;
    for (;;) {
      if (OpenEOC(eoc)) {
        if (resolved && !MultiPart && eoc.ThisDiskNo == 0 && k >= 0) throw EZipBuilder::CreateFromId(11002, true);
        if (HardDrive && resolved && eoc.ThisDiskNo != k) throw EZipBuilder::CreateFromId(11036, true);
        // The last part is the one open now; later reads continue from it.
        CurrentPart = eoc.ThisDiskNo;
        return 0;
      }
      CloseFileHandle(FileHandle);
      NewDisk = true;
      CurrentPart = -1;
      AskForDisk();
      if (HardDrive) {
        if (resolved) {
          if (quiet) return -1;
          throw EZipBuilder::CreateFromId(11002, true);
        }
        reportAlways = true;
        throw EZipBuilder::CreateFromId(11036, true);
      }
      if (resolved) {
        const AnsiString found = FindLastPart(base, SpanOptions.Contains(spCompatName));
        if (found.IsEmpty()) {
          ShowZipMessage(11002, AnsiString());
          return -1;
        }
        NameInUse = dir + found;
      }
    }
  } catch (const EZipBuilder& e) {
    // Closed before the report, whose OnMessage may raise.
    NameInUse = AnsiString();
    CloseFileHandle(FileHandle);
    if (!quiet || reportAlways) ReportError(e);
    return -1;
  }
}

void TZBWorker::PartFileName(AnsiString& name, bool numbered, bool extStyle) {
  if (extStyle) {
    AnsiString newExt;
    if (CurrentPart == int(LastPart))
      newExt = ".zip";
    else
      newExt = (CurrentPart < 9 ? ".z0" : ".z") + IntToStr(CurrentPart + 1);
    name = ChangeFileExt(name, newExt);
    return;
  }
  const AnsiString ext = ExtractFileExt(name);
  const int keep = name.Length() - ext.Length() - (numbered ? 3 : 0);
  name = name.SubString(1, keep) + PartNumber(CurrentPart) + ext;
}

bool TZBWorker::FindPartFile() {
  if (NamingMode < 2 && !HardDrive) {
    if (VolumeLabel == kVolumeLabelPrefix + PartNumber(CurrentPart) && FileExists(NameInUse)) {
      NamingMode = 1;
      return true;
    }
  }
  const AnsiString saved = NameInUse;
  if (NamingMode == 1) return false;
  if (NamingMode == 2 || NamingMode == 3) {
    PartFileName(NameInUse, true, NamingMode == 3);
    if (!HardDrive && !FileExists(NameInUse)) {
      NameInUse = saved;
      return false;
    }
    return true;
  }
  PartFileName(NameInUse, true, true);
  if (FileExists(NameInUse)) {
    NamingMode = 3;
    return true;
  }
  NameInUse = saved;
  PartFileName(NameInUse, true, false);
  if (FileExists(NameInUse)) {
    NamingMode = 2;
    return true;
  }
  // On a hard disk the open that follows reports the missing part.
  if (HardDrive) return true;
  NameInUse = saved;
  return false;
}

AnsiString TZBWorker::FindLastPart(const AnsiString& base, bool extStyle) {
  AnsiString result;
  TSearchRec sr;
  if (FindFirst(base + (extStyle ? ".z??*" : "???.zip"), faAnyFile, sr) != 0) return result;
  do {
    int number;
    if (extStyle) {
      const AnsiString digits = UpperCase(ExtractFileExt(sr.Name)).SubString(3, 20);
      number = digits == "IP" ? 99999 : StrToIntDef(digits, 0);
    } else {
      const AnsiString bare = ChangeFileExt(sr.Name, "");
      number = StrToIntDef(bare.SubString(bare.Length() - 2, 3), 0);
    }
    if (number > 0) {
      result = sr.Name;
      break;
    }
  } while (FindNext(sr) == 0);
  FindClose(sr);
  return result;
}

void TZBWorker::GetNewDisk(int part) {
  CloseFileHandle(FileHandle);
  CurrentPart = part;
  for (;;) {
    do {
      NewDisk = true;
      FileHandle = -1;
      AskForDisk();
    } while (!FindPartFile());
    if (Verbose) Report(zrMessage, 0, 0, LoadZipStrFmt(11602, {NameInUse}));
    FileHandle = FileOpen(NameInUse, fmOpenRead | fmShareDenyWrite);
    if (FileHandle != -1) return;
    if (HardDrive) throw EZipBuilder::CreateFromId(11001, true);
    ShowZipMessage(11001, AnsiString());
  }
}

bool TZBWorker::CheckDrive() {
  const AnsiString root = UpperCase(DriveRoot);
  const char letter = root.IsEmpty() ? '\0' : root[1];
  if (letter != '\\') {
    if (letter < 'A' || letter > 'Z') throw EZipBuilder::CreateFromIdStr(11003, DriveRoot);
    if ((GetLogicalDrives() & (1u << (letter - 'A'))) == 0) throw EZipBuilder::CreateFromIdStr(11004, DriveRoot);
  }
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  char label[MAX_PATH] = {};
  DWORD serial = 0, maxLength = 0, flags = 0;
  const BOOL ok = GetVolumeInformationA(DriveRoot.c_str(), label, MAX_PATH, &serial, &maxLength, &flags, nullptr, 0);
  const DWORD error = GetLastError();
  SetErrorMode(oldMode);
  // An unformatted disk is usable only when the caller may erase it.
  if (!ok) return error == ERROR_GEN_FAILURE && AddOptions.Contains(AddDiskSpanErase);
  VolumeLabel = label;
  ReadOnlyVolume = (flags & FILE_READ_ONLY_VOLUME) != 0;
  DiskFreeSpace(3);
  return letter == '\\' || DriveTotalBytes != -1;
}

void TZBWorker::AskForDisk() {
  HardDrive = IsHardDrive();
  if (HardDrive) {
    NewDisk = false;
    if (Cancel) throw EZipAbort();
    return;
  }
  Report(zrTick, 0, 0, AnsiString());
  int answer = mrOk;
  AnsiString message;
  int context = ZipDlgContext(ZIP_DLG_WARNING, 10009);
  while (NewDisk || (answer == mrOk && !CheckDrive())) {
    if (Unattended) throw EZipBuilder::CreateFromId(11025, true);
    const AnsiString drive = DriveRoot.SubString(1, 1);
    if (CurrentPart < 0) {
      message = LoadZipStr(11033);
      context = ZipDlgContext(ZIP_DLG_ERROR, 10010);
    } else {
      message = LoadZipStrFmt(11034, {CurrentPart + 1, int(LastPart) + 1}) + LoadZipStrFmt(11035, {drive});
    }
    if (FEvents.OnGetNextDisk) {
      bool cancel = false;
      FEvents.OnGetNextDisk(Sender(), CurrentPart + 1, int(LastPart) + 1, drive, cancel);
      answer = cancel ? mrAbort : mrOk;
    } else {
      answer = ZipMessageDialog(AnsiString(), message, context, TMsgDlgButtons() << mbOK << mbCancel);
    }
    NewDisk = false;
  }
  if (answer == 0) throw EZipBuilder::CreateFromId(11006, true);
  if (answer != mrOk) throw EZipAbort();
}

void TZBWorker::DiskFreeSpace(int which) {
  typedef BOOL(WINAPI * FreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  long long freeBytes = -1, totalBytes = -1;
  HMODULE kernel = GetModuleHandleA("kernel32");
  FreeSpaceEx ex = kernel ? reinterpret_cast<FreeSpaceEx>(
                                reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
                          : nullptr;
  ULARGE_INTEGER avail, total, totalFree;
  if (ex && ex(DriveRoot.c_str(), &avail, &total, &totalFree)) {
    freeBytes = (long long)avail.QuadPart;
    totalBytes = (long long)total.QuadPart;
  } else {
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (GetDiskFreeSpaceA(DriveRoot.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
      freeBytes = (long long)uint32_t(bytesPerSector * sectorsPerCluster * freeClusters);
      totalBytes = (long long)uint32_t(bytesPerSector * sectorsPerCluster * totalClusters);
    }
  }
  if (which & 1) DriveFreeBytes = freeBytes;
  if (which & 2) DriveTotalBytes = totalBytes;
}
