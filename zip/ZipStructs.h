// Types the zip component shares between its units: option sets, progress kinds, the
// directory entry and the event signatures.
#pragma once
#include <cstdint>
#include <functional>

#include "Classes.h"
#include "Dialogs.h"
#include "Sysset.h"
#include "ZBEngineIntf.h"
#include "ZBUtils.h"

// Name conversion rule for entry names (OEM or ANSI).
enum CPOpts : uint8_t { cpAuto, cpNone, cpOEM };
enum OvrOpts : uint8_t { OvrConfirm, OvrAlways, OvrNever };

enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrForceDirs, ExtrTest };
typedef Set<ExtrOptsEnum, ExtrDirNames, ExtrTest> ExtrOpts;

enum SpanOptsEnum { spNoVolumeName, spCompatName, spWipeFiles, spTryFormat };
typedef Set<SpanOptsEnum, spNoVolumeName, spTryFormat> SpanOpts;

enum SFXOptsEnum { SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize, SFXNoSuccessMsg };
typedef Set<SFXOptsEnum, SFXAskCmdLine, SFXNoSuccessMsg> SFXOpts;

enum AddOptsEnum {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS, AddHiddenFiles,
  AddArchiveOnly, AddResetArchive, AddEncrypt, AddSeparateDirs, AddVolume, AddFromDate, AddSafe,
  AddForceDest, AddDiskSpan, AddDiskSpanErase
};
typedef Set<AddOptsEnum, AddDirNames, AddDiskSpanErase> AddOpts;

enum AddStoreSuffix {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assRAR, assACE,
  assCAB, assGZ, assGZIP, assJAR, assEXE, assEXT, assJPG, assJPEG, ass7ZP, assMP3, assWMA, assWMV,
  assDVRMS, assAVI
};
typedef Set<AddStoreSuffix, assGIF, assAVI> AddStoreExts;

// Kind of an OnProgress notice (also the snapshot's Action).
enum ProgressType : uint8_t {
  ptNewItem, ptItemProgress, ptEndOfBatch, ptFileCount, ptTotalSize, ptNewExtraItem, ptExtraProgress
};

// Why the engine skipped an entry.
typedef ZBSkipType UnZipSkipTypes;

// State of a disk offered for writing a multi-part archive, and the user's answer.
typedef uint8_t TZipDiskStatus;
enum TZipDiskAction : uint8_t { daOk, daErase, daReject, daCancel };

// One central-directory entry. The first fields are the 42 bytes of the central header after
// its signature, unchanged.
#pragma pack(push, 1)
struct ZipDirEntryHeader {
  uint8_t VersionMadeBy;       // zip format version of the writer, for example 20 or 50
  uint8_t HostSystem;          // 0 FAT, 3 Unix, 6 HPFS, 11 NTFS ...
  uint16_t VersionNeeded;
  uint16_t Flags;              // bit 0: encrypted
  uint16_t Method;
  uint16_t ModTime;
  uint16_t ModDate;
  uint32_t CRC32;
  uint32_t CompressedSize;
  uint32_t UncompressedSize;
  uint16_t FileNameLen;        // stored lengths, also when the name changes by conversion
  uint16_t ExtraLen;
  uint16_t CommentLen;
  uint16_t DiskStart;
  uint16_t IntAttrs;
  uint32_t ExtAttrs;
  uint32_t LocalHeaderOffset;
};
#pragma pack(pop)
static_assert(sizeof(ZipDirEntryHeader) == 42, "central header after its signature");

struct ZipDirEntry : ZipDirEntryHeader {
  AnsiString FileName;     // ANSI, "\" separators
  AnsiString FileComment;  // as stored
  bool Encrypted = false;
  AnsiString ExtraData;    // the extra field as stored
};

// Events. Sender is always the component.
typedef std::function<void(TObject* Sender, bool& abort)> TCheckTerminateEvent;
typedef std::function<void(TObject* Sender, const AnsiString& ForFile, bool& DoOverwrite)> TCopyZipOverwriteEvent;
typedef std::function<void(TObject* Sender, const AnsiString& ForFile, uint32_t FoundCRC, uint32_t ExpectedCRC,
                           bool& DoExtract)>
    TCRC32ErrorEvent;
typedef std::function<void(TObject* Sender, const AnsiString& ForFile, bool IsOlder, bool& DoOverwrite,
                           int DirIndex)>
    TExtractOverwriteEvent;
typedef std::function<void(TObject* Sender, const AnsiString& ForFile, UnZipSkipTypes SkipType, int ExtError)>
    TExtractSkippedEvent;
typedef std::function<void(TObject* Sender, const AnsiString& ForFile, AnsiString& FileComment, bool& IsChanged)>
    TFileCommentEvent;
typedef TFileCommentEvent TFileExtraEvent;
typedef std::function<void(TObject* Sender, int DiskSeqNo, int DiskTotal, const AnsiString& Drive, bool& Cancel)>
    TGetNextDiskEvent;
typedef std::function<void(TObject* Sender, const AnsiString& Item, uint32_t TotalSize, int PerCent)>
    TItemProgressEvent;
typedef std::function<void(TObject* Sender, int ErrCode, const AnsiString& Message)> TZipMessageEvent;
typedef std::function<void(TObject* Sender, int SeqNo, const ZipDirEntry& ZipEntry)> TNewNameEvent;
typedef std::function<void(TObject* Sender, bool IsZipAction, AnsiString& NewPassword, const AnsiString& ForFile,
                           uint32_t& RepeatCount, TMsgDlgBtn& Action)>
    TPasswordErrorEvent;
typedef std::function<void(TObject* Sender, ProgressType ProgrType, const AnsiString& Filename, long long FileSize)>
    TProgressEvent;
class TProgressDetails;
typedef std::function<void(TObject* Sender, TProgressDetails* Details)> TProgressDetailsEvent;
typedef std::function<void(TObject* Sender, int PreviousDisk, const AnsiString& PreviousFile, TZipDiskStatus Status,
                           TZipDiskAction& Action)>
    TStatusDiskEvent;
typedef std::function<void(TObject* Sender, AnsiString& FileName, const AnsiString& ExtName, bool& IsChanged)>
    TSetAddNameEvent;
typedef std::function<void(TObject* Sender, AnsiString& Filename, bool& IsChanged)> TSetExtNameEvent;
typedef TSetExtNameEvent TSetNewNameEvent;
typedef std::function<void(TObject* Sender, long long TotalSize, int PerCent)> TTotalProgressEvent;
typedef std::function<void(TObject* Sender, const AnsiString& Title, AnsiString& msg, int& Context,
                           TMsgDlgButtons Btns)>
    TZipDialogEvent;
