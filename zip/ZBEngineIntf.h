// Interface between the zip component and the zip engine library ZBEngine.dll: the parameter
// block of an extract command, the callback record, the callback and the six exports.
// Fields are in the order the engine and component agree on, with native widths; an i386 build
// has exactly the 32-bit offsets and sizes both sides were written for (checked below).
#pragma once
#include <cstdint>
#include "windef.h"

// Version the component puts at UnzipParams offset 8 and the range it accepts from ZE_Version.
constexpr int32_t ZB_PARAMS_VERSION = 179;
constexpr int32_t ZB_MIN_ENGINE_VERSION = 179;
constexpr int32_t ZB_MAX_ENGINE_VERSION = 300;
// Constant fields of the block: offset 44 (the command: extract) and offset 148 (end mark).
constexpr int32_t ZB_UNZ_COMMAND_EXTRACT = 1;
constexpr int32_t ZB_PARAMS_END_MARK = 7;

// The reply area at record offset 24: 512 characters and a terminating zero, rounded up.
constexpr int ZB_REPLY_TEXT_MAX = 512;
constexpr int ZB_REPLY_AREA_SIZE = 516;
// Longest password that reaches the engine (block offset 28, password replies).
constexpr int ZB_PASSWORD_MAX = 81;
// Size of the extract directory buffer at block offset 112.
constexpr int ZB_EXTRACT_DIR_SIZE = 261;

struct ZipCallbackRecord;

// The callback: receives UnzipParams::Caller back and the engine's record. Returns
// ZB_CB_CONTINUE, ZB_CB_CANCEL or ZB_CB_HANDLER_FAILED; the engine stops on a non-zero value.
typedef int32_t(WINAPI* ZBCallbackFunc)(void* Caller, ZipCallbackRecord* Record);

constexpr int32_t ZB_CB_CONTINUE = 0;
constexpr int32_t ZB_CB_CANCEL = 1;
constexpr int32_t ZB_CB_HANDLER_FAILED = 10106;

// One name or pattern to extract; the component allocates one record per entry.
struct UnzFileSpec {
  const char* FileSpec;   // 0: zero-terminated pattern, `*` and `?`, `\` separators
  uint8_t Reserved[28];   // 4: zero
};

struct UnzipParams {
  HWND Handle;              // 0: owner window, 0 when unattended
  void* Caller;             // 4: handed back to the callback
  int32_t Version;          // 8: ZB_PARAMS_VERSION
  ZBCallbackFunc Callback;  // 12
  int32_t Trace;            // 16: 1 or 0
  int32_t CodePage;         // 20: 0 auto, 1 none, 2 OEM
  int32_t Reserved24;       // 24: 0
  const char* Password;     // 28: at most ZB_PASSWORD_MAX characters, or 0
  int32_t Test;             // 32: only test the archive
  int32_t Reserved36;       // 36: 0
  int32_t Reserved40;       // 40: 0
  int32_t Command;          // 44: ZB_UNZ_COMMAND_EXTRACT
  int32_t Verbose;          // 48: 1 or 0
  int32_t Update;           // 52: only entries newer than the existing file
  int32_t Freshen;          // 56: only entries that exist already and are newer
  int32_t DirNames;         // 60: keep stored folders
  int32_t OverWrite;        // 64: replace existing files without asking
  int32_t SpecCount;        // 68: entries of FileSpecs; 0 = all files
  const char* ArchiveName;  // 72
  UnzFileSpec* FileSpecs;   // 76
  int32_t Reserved80;       // 80: 0
  int32_t MemTarget;        // 84: memory extraction, unused: 0
  void* MemTargetAddr;      // 88
  int32_t MemTargetSize;    // 92
  int32_t MemSource;        // 96
  void* MemSourceAddr;      // 100
  int32_t MemSourceSize;    // 104
  uint32_t PwdReqCount;     // 108: how often to ask for a password, 0 = never
  char* ExtractDir;         // 112: ZB_EXTRACT_DIR_SIZE-byte buffer, or 0 = current folder
  int32_t Reserved116[8];   // 116 to 144: 0
  int32_t EndMark;          // 148: ZB_PARAMS_END_MARK
};

// Callback actions (low 6 bits of ZipCallbackRecord::ActionCode).
enum ZBAction : int32_t {
  zacTick = 0,           // nothing to report; a chance to cancel
  zacItem = 1,           // new item: FileName, FileSize
  zacProgress = 2,       // bytes done: FileSize
  zacEndOfBatch = 3,     // the command ends
  zacMessage = 4,        // message: ErrorCode, FileName = text
  zacCount = 5,          // number of items: ErrorCode
  zacSize = 6,           // total bytes: FileSize
  zacNewName = 7,        // (zip operations)
  zacPassword = 8,       // password request: ErrorCode = repeat count
  zacCRCError = 9,       // ErrorCode = found CRC, Arg2 = expected CRC
  zacOverwrite = 10,     // ErrorCode = overwrite wanted, Arg2 = entry index, Arg3 = 2 not older
  zacSkipped = 11,       // ErrorCode = error, Arg2 low byte = skip type + 1
  zacComment = 12,       // (zip operations)
  zacStream = 13,        // (memory operations)
  zacData = 14,          // (zip operations)
  zacXItem = 15,         // extended item: ErrorCode, FileName, FileSize
  zacXProgress = 16,     // extended progress: ErrorCode, FileSize
  zacExtName = 17,       // extract name: FileName; reply -1 with a new name in Reply
  zacCommandHandle = 18  // ErrorCode = handle of the running command, for ZE_Abort
};
constexpr int32_t ZB_ACTION_MASK = 0x3F;

// Reply codes the component writes to ActionCode; untouched when it does not answer.
constexpr int32_t ZB_REPLY_YES = -1;       // answered / changed / extract / overwrite
constexpr int32_t ZB_REPLY_NO = -2;        // no password, do not overwrite, cancel this one
constexpr int32_t ZB_REPLY_NO_TO_ALL = -3; // no more for this command / do not extract

// Why an entry was skipped: the value the component sees; the engine sends it plus one.
enum ZBSkipType : int32_t {
  zskFreshen = 0,        // freshen: no existing file or it is not older
  zskNotNewer = 1,       // update: the existing file is not older
  zskNoOverwrite = 2,    // the file exists and may not be replaced
  zskBadPassword = 3,    // no or wrong password
  zskUnsupported = 4,    // compression method or feature not supported
  zskUnsafeName = 5,     // the name would land outside the extract folder
  zskBadCRC = 6,         // the data does not match its CRC
  zskDamaged = 7,        // the entry cannot be read from the archive
  zskWriteError = 8      // the file cannot be created or written
};

struct ZipCallbackRecord {
  HWND Handle;              // 0: UnzipParams::Handle (not read)
  void* Caller;             // 4: UnzipParams::Caller (not read)
  int32_t IsOperationZip;   // 8: non-zero for an add operation; the engine sends 0
  int32_t ActionCode;       // 12: in: action; out: reply code
  int32_t ErrorCode;        // 16: in: argument; out: count or length of some replies
  const char* FileName;     // 20: item name or message text
  union {
    struct {
      int64_t FileSize;     // 24
      int32_t Progress1;    // 32
      int32_t Progress2;    // 36
      void* Data;           // 40: in: text or data; out: memory handed to the engine
      int32_t Arg2;         // 44
      int32_t Arg3;         // 48
    };
    char Reply[ZB_REPLY_AREA_SIZE];  // 24: reply text or bytes
  };
};

// Results of ZE_UnzExec: files processed, or one of these.
constexpr int32_t ZB_ERR_CANCELLED = -1;
constexpr int32_t ZB_ERR_ABORTED = -2;
constexpr int32_t ZB_ERR_HANDLER = -3;
constexpr int32_t ZB_ERR_NO_MEMORY = -4;
constexpr int32_t ZB_ERR_INVALID_BLOCK = -5;
constexpr int32_t ZB_ERR_ARCHIVE = -6;     // archive missing, unreadable or not a zip
constexpr int32_t ZB_ERR_INTERNAL = -8;    // anything else (-7 is the component's own)
constexpr int32_t ZB_ERR_TARGET = -9;      // the extract folder does not exist
constexpr int32_t ZB_ERR_NOT_SUPPORTED = -10;  // a command this engine does not run

// Error codes of engine messages (action 4, and action 11's ErrorCode). The component keeps
// the low byte of a non-zero code as its error; 0 is a notice, 9 is the component's own.
enum ZBMessageCode : int32_t {
  zemNone = 0,
  zemArchive = 1,      // the archive cannot be opened or read
  zemCRC = 2,          // CRC error
  zemPassword = 3,     // no or wrong password
  zemUnsupported = 4,  // compression method or feature not supported
  zemUnsafeName = 5,   // name would land outside the extract folder
  zemWrite = 6,        // a file or folder cannot be created or written
  zemDamaged = 7,      // an entry cannot be read
  zemTarget = 8        // the extract folder does not exist
};

// The exports, by name.
extern "C" {
typedef int32_t(WINAPI* ZE_UnzExecFunc)(UnzipParams* Params);
typedef int32_t(WINAPI* ZE_ZipExecFunc)(void* Params);
typedef int32_t(WINAPI* ZE_VersionFunc)();
typedef int32_t(WINAPI* ZE_PrivVersionFunc)();
typedef int32_t(WINAPI* ZE_AbortFunc)(uint32_t CommandHandle);
typedef const char*(WINAPI* ZE_PathFunc)();
}

#if defined(__i386__)
#include <cstddef>
static_assert(sizeof(UnzFileSpec) == 32, "file specification record");
static_assert(sizeof(UnzipParams) == 152, "UnzipParams size");
static_assert(offsetof(UnzipParams, Caller) == 4);
static_assert(offsetof(UnzipParams, Version) == 8);
static_assert(offsetof(UnzipParams, Callback) == 12);
static_assert(offsetof(UnzipParams, Trace) == 16);
static_assert(offsetof(UnzipParams, CodePage) == 20);
static_assert(offsetof(UnzipParams, Password) == 28);
static_assert(offsetof(UnzipParams, Test) == 32);
static_assert(offsetof(UnzipParams, Command) == 44);
static_assert(offsetof(UnzipParams, Verbose) == 48);
static_assert(offsetof(UnzipParams, Update) == 52);
static_assert(offsetof(UnzipParams, Freshen) == 56);
static_assert(offsetof(UnzipParams, DirNames) == 60);
static_assert(offsetof(UnzipParams, OverWrite) == 64);
static_assert(offsetof(UnzipParams, SpecCount) == 68);
static_assert(offsetof(UnzipParams, ArchiveName) == 72);
static_assert(offsetof(UnzipParams, FileSpecs) == 76);
static_assert(offsetof(UnzipParams, MemTarget) == 84);
static_assert(offsetof(UnzipParams, MemSourceSize) == 104);
static_assert(offsetof(UnzipParams, PwdReqCount) == 108);
static_assert(offsetof(UnzipParams, ExtractDir) == 112);
static_assert(offsetof(UnzipParams, Reserved116) == 116);
static_assert(offsetof(UnzipParams, EndMark) == 148);
static_assert(offsetof(ZipCallbackRecord, IsOperationZip) == 8);
static_assert(offsetof(ZipCallbackRecord, ActionCode) == 12);
static_assert(offsetof(ZipCallbackRecord, ErrorCode) == 16);
static_assert(offsetof(ZipCallbackRecord, FileName) == 20);
static_assert(offsetof(ZipCallbackRecord, FileSize) == 24);
static_assert(offsetof(ZipCallbackRecord, Progress1) == 32);
static_assert(offsetof(ZipCallbackRecord, Progress2) == 36);
static_assert(offsetof(ZipCallbackRecord, Data) == 40);
static_assert(offsetof(ZipCallbackRecord, Arg2) == 44);
static_assert(offsetof(ZipCallbackRecord, Arg3) == 48);
static_assert(offsetof(ZipCallbackRecord, Reply) == 24);
static_assert(sizeof(ZipCallbackRecord) >= 24 + ZB_REPLY_TEXT_MAX + 1);
#endif
