// The zip worker: the one engine object of each zip component. This unit holds its data, its
// construction defaults, its reset and the setters the component calls.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZBDBind.h"

class TZipIntSFX;

// Memory handed to the engine for extraction to memory.
class TZipStream : public TMemoryStream {
 public:
  using TMemoryStream::SetPointer;
};

// Archive records as stored (little-endian, packed).
#pragma pack(push, 1)
struct ZipEndOfCentral {
  uint32_t HeaderSig;
  uint16_t ThisDiskNo;
  uint16_t CentralDiskNo;
  uint16_t CentralEntries;  // on this disk
  uint16_t TotalEntries;
  uint32_t CentralSize;
  uint32_t CentralOffset;
  uint16_t ZipCommentLen;
};
struct ZipCentralHeader {
  uint32_t HeaderSig;
  ZipDirEntryHeader Entry;
};
struct ZipLocalHeader {
  uint32_t HeaderSig;
  uint16_t VersionNeeded;
  uint16_t Flag;
  uint16_t Method;
  uint16_t ModTime;
  uint16_t ModDate;
  uint32_t CRC32;
  uint32_t CompressedSize;
  uint32_t UncompressedSize;
  uint16_t FileNameLen;
  uint16_t ExtraLen;
};
#pragma pack(pop)
static_assert(sizeof(ZipEndOfCentral) == 22 && sizeof(ZipCentralHeader) == 46 && sizeof(ZipLocalHeader) == 30);

constexpr uint32_t ZIP_LOCAL_SIG = 0x04034B50;
constexpr uint32_t ZIP_CENTRAL_SIG = 0x02014B50;
constexpr uint32_t ZIP_EOC_SIG = 0x06054B50;
constexpr uint32_t ZIP_SPAN_SIG = 0x08074B50;

// What QueryZip finds in a file (bits of its result).
enum : int {
  zqExe = 0x01, zqLocalFirst = 0x02, zqSpanFirst = 0x04, zqCentralFirst = 0x08, zqEOCAtEnd = 0x10,
  zqLocalValid = 0x20, zqCentralValid = 0x40, zqEOCFound = 0x80
};
// A bit mask of the zip structures in a file; -7 when it cannot be opened, -9 on a failure.
int QueryZip(const AnsiString& fileName);

// One record per central-directory entry while the parts of a split archive are joined.
struct TMZipDataRec {
  long long NewOffset = -1;  // local header in the output; -1 until written
  AnsiString Name;
  uint32_t CompressedSize = 0;
};

class TMZipDataList : public TList {
 public:
  explicit TMZipDataList(int count);
  ~TMZipDataList() override;
  TMZipDataRec* Items(int index) const;
  // The first record with this name, ignoring case.
  int IndexOf(const AnsiString& name) const;
  // The first such record whose local header has not been written yet.
  int IndexOfUnplaced(const AnsiString& name) const;

 protected:
  void Notify(void* ptr, TListNotification action) override;
};

// Operations asked for while the worker was inactive.
enum TZipPendingOp { zpoDirRead, zpoCommentWrite };
typedef Set<TZipPendingOp, zpoDirRead, zpoCommentWrite> TZipPendingOps;

// Every store suffix except assEXT.
const AddStoreExts& DefaultStoreSuffixes();

class TZBWorker : public TZBDynamicBind {
 public:
  explicit TZBWorker(TComponent* owner);
  ~TZBWorker() override;

  void SetCancel(bool flag) override;
  void Start() override;

  void Clear();
  void SetZipFileName(const AnsiString& name);
  void SetPasswordReqCount(uint32_t n);
  void SetExtAddStoreSuffixes(const AnsiString& text);
  int List();
  void FreeZipContents();

  // Directory reader.
  bool OpenEOC(ZipEndOfCentral& eoc);
  void ReadExact(void* buffer, int count, int id);
  AnsiString ConvertName(const AnsiString& text, bool toOem);
  static bool EndsWithSlash(const AnsiString& name);
  // Multi-part archives.
  int GetLastVolume(const AnsiString& archive, ZipEndOfCentral& eoc, bool quiet);
  void GetNewDisk(int part);
  bool FindPartFile();
  void PartFileName(AnsiString& name, bool numbered, bool extStyle);
  AnsiString FindLastPart(const AnsiString& base, bool extStyle);
  bool CheckDrive();
  void AskForDisk();
  // Joining split archives, activation, comment rewrite.
  int ReadSpan(const AnsiString& archive, AnsiString& output);
  void CopyData(uint8_t* buffer, uint32_t count, int id);
  void SetActive(bool value);
  void WriteZipComment(const AnsiString& comment);
  // Extraction.
  int Extract();
  void ExtExtract();
  void FillUnzipParams(const AnsiString& archive, UnzipParams& block);
  void DiskFreeSpace(int which);
  void WriteWithProgress(const void* buffer, int count, int id);
  void Done() override;
  // Engine callback.
  static int32_t WINAPI DllCallback(void* caller, ZipCallbackRecord* rec);
  void HandleCallback(ZipCallbackRecord* rec);
  AnsiString CallbackFileName(const ZipCallbackRecord* rec) const;
  AnsiString GetExtrPassword(TMsgDlgBtn& action);
  AnsiString GetAddPassword(TMsgDlgBtn& action);
  TMsgDlgBtn PasswordPrompt(const AnsiString& title, const AnsiString& message, AnsiString& password,
                            TMsgDlgButtons buttons, int context);

  // Fields, in order. "copy": filled from the component's property before every operation.
  int AddCompLevel = 9;                 // copy
  AddOpts AddOptions;                   // copy
  AddStoreExts AddStoreSuffixes;        // copy, then assEXT by SetExtAddStoreSuffixes
  int BufferSize = 65536;               // copy buffer for joining parts
  CPOpts CodePage = cpAuto;             // copy
  bool ConfirmErase = true;             // copy
  int SourceDate = 0;                   // date of the split archive, for the joined file
  TZipPendingOps PendingOps;
  int DroppedDirCount = 0;
  int CurrentPart = 0;                  // -1: the last part is wanted
  AnsiString DriveRoot;
  bool HardDrive = false;
  AnsiString RawComment;
  AnsiString ExtSuffixList;
  AnsiString ExtrBaseDir;               // copy
  ExtrOpts ExtrOptions;                 // copy
  uint32_t KeepFreeOnAllDisks = 0;      // copy
  long long DriveFreeBytes = 0;         // -1 unknown
  uint32_t KeepFreeOnDisk1 = 0;         // copy
  uint32_t ArchiveSize = 0;
  TDateTime AddFrom = 0;                // copy
  std::unique_ptr<TStringList> FSpecArgs;      // copy
  std::unique_ptr<TStringList> FSpecArgsExcl;  // copy
  HWND OwnerWindow = nullptr;           // copy
  uint8_t HostByte = 0;
  uint8_t VersionByte = 0;
  TDeleteOpts HowToDelete = htdAllowUndo;  // copy
  AnsiString NameInUse;
  int FileHandle = 0;                   // -1 none
  int MaxVolumeSize = 0;                // copy
  int MinFreeVolumeSize = 65536;        // copy
  bool NewDisk = false;
  uint8_t NamingMode = 0;
  bool MultiPart = false;
  int OutputHandle = 0;
  uint32_t RealFileSize = 0;
  AnsiString RootDir;                   // copy
  AnsiString Password;                  // copy
  uint32_t PasswordReqCount = 1;        // 0..15
  uint32_t FirstDataOffset = 0;
  TZipIntSFX* SFX = nullptr;
  uint8_t WriteKind = 0;
  long long DriveTotalBytes = 0;
  SpanOpts SpanOptions;                 // copy
  AnsiString NewNameBuffer;
  uint32_t CentralDirPos = 0;
  int SuccessCount = 0;
  uint16_t LastPart = 0;
  bool UseDirOnlyEntries = false;       // copy
  bool InEngineRun = false;
  AnsiString VolumeLabel;
  bool ReadOnlyVolume = false;
  bool StructureWarning = false;
  AnsiString ZipComment;
  std::vector<std::unique_ptr<ZipDirEntry>> ZipContents;
  int EOCPosition = 0;
  AnsiString ZipFileName;
  std::unique_ptr<TZipStream> ZipStream;

  // Owned by the operations above while they run.
  std::vector<uint8_t> CopyBuffer;      // joining
  AnsiString ExtraDataBuffer;           // extra data handed back to the engine
  std::string ParamArchive;             // texts of the parameter block
  std::string ParamPassword;

 private:
  bool IsHardDrive() const;
  // Reports the exception being handled: an EZipBuilder through ReportError (-7), out of memory
  // as 10103 (-8), anything else as otherId followed by its message (-9).
  int ReportCaught(int otherId);

  // The settings that construction and Clear both give.
  void SetDefaults();
};
