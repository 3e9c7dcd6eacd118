// The class library's exceptions and its string, number, file-name and file functions.
#pragma once
#include <exception>

#include "AnsiString.h"

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// The class library's exception root. Message is code page 949 text.
class Exception : public std::exception {
 public:
  explicit Exception(const AnsiString& msg) : Message(msg) {}
  explicit Exception(const char* msg) : Message(msg) {}  // a format with arguments: CreateFmt
  static Exception CreateFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
  const char* what() const noexcept override { return Message.c_str(); }
  virtual ~Exception() = default;
  AnsiString Message;
  int HelpContext = 0;
};

#define VCL_EXCEPTION(Name, Base)                              \
  class Name : public Base {                                   \
   public:                                                     \
    explicit Name(const AnsiString& msg) : Base(msg) {}        \
  };
VCL_EXCEPTION(EAbort, Exception)
VCL_EXCEPTION(EConvertError, Exception)
VCL_EXCEPTION(EOutOfMemory, Exception)
VCL_EXCEPTION(EInOutError, Exception)
VCL_EXCEPTION(EStreamError, Exception)
VCL_EXCEPTION(EFCreateError, EStreamError)
VCL_EXCEPTION(EFOpenError, EStreamError)
VCL_EXCEPTION(EReadError, EStreamError)
VCL_EXCEPTION(EWriteError, EStreamError)
VCL_EXCEPTION(EStringListError, Exception)
VCL_EXCEPTION(EListError, Exception)
VCL_EXCEPTION(EResNotFound, Exception)
VCL_EXCEPTION(ERegistryException, Exception)
VCL_EXCEPTION(EIniFileException, Exception)
VCL_EXCEPTION(EComponentError, Exception)
VCL_EXCEPTION(EInvalidOperation, Exception)
VCL_EXCEPTION(EOSError, Exception)
VCL_EXCEPTION(ERangeError, Exception)
#undef VCL_EXCEPTION

// Raises EAbort, the silent exception ("Operation aborted"; the application does not show it).
[[noreturn]] void Abort();

// Numbers and text
AnsiString IntToStr(int value);
AnsiString IntToStr(long long value);
AnsiString IntToStr(unsigned value);
AnsiString IntToStr(long value);
AnsiString IntToStr(unsigned long value);
AnsiString IntToHex(int value, int digits);
int StrToInt(const AnsiString& s);  // EConvertError on bad text
int StrToIntDef(const AnsiString& s, int defaultValue);  // also "$1F" and "0x1F"
long long StrToInt64(const AnsiString& s);
long long StrToInt64Def(const AnsiString& s, long long defaultValue);
double StrToFloat(const AnsiString& s);
AnsiString FloatToStr(double value);
// FormatFloat patterns: '#', '0', ',', '.', literal text, quoted text.
AnsiString FormatFloat(const AnsiString& format, double value);
// Format with printf conversions (%s takes AnsiString or const char*, %d int, ...): the
// arguments are passed as they are to vsnprintf, so callers pass c_str() for strings.
AnsiString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);
AnsiString AnsiUpperCase(const AnsiString& s);
AnsiString AnsiLowerCase(const AnsiString& s);
int CompareText(const AnsiString& a, const AnsiString& b);  // ASCII case-insensitive
int CompareStr(const AnsiString& a, const AnsiString& b);
int AnsiCompareText(const AnsiString& a, const AnsiString& b);
int AnsiCompareStr(const AnsiString& a, const AnsiString& b);
bool SameText(const AnsiString& a, const AnsiString& b);
int AnsiPos(const AnsiString& sub, const AnsiString& s);
AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern, const AnsiString& newPattern,
                         int flags);  // rfReplaceAll | rfIgnoreCase
enum { rfReplaceAll = 1, rfIgnoreCase = 2 };
AnsiString QuotedStr(const AnsiString& s);
AnsiString AnsiQuotedStr(const AnsiString& s, char quote);
AnsiString AnsiDequotedStr(const AnsiString& s, char quote);
AnsiString SysErrorMessage(int errorCode);
int LastDelimiter(const AnsiString& delimiters, const AnsiString& s);
bool IsDelimiter(const AnsiString& delimiters, const AnsiString& s, int index);
AnsiString IncludeTrailingBackslash(const AnsiString& s);
AnsiString ExcludeTrailingBackslash(const AnsiString& s);
AnsiString IncludeTrailingPathDelimiter(const AnsiString& s);
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& s);

// File names (DOS paths, code page 949, double-byte aware)
AnsiString ExtractFileName(const AnsiString& path);
AnsiString ExtractFilePath(const AnsiString& path);
AnsiString ExtractFileDir(const AnsiString& path);
AnsiString ExtractFileDrive(const AnsiString& path);
AnsiString ExtractFileExt(const AnsiString& path);
AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext);
AnsiString ExpandFileName(const AnsiString& path);

// Files (through the DOS path layer)
bool FileExists(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);
bool ForceDirectories(const AnsiString& dir);
bool CreateDir(const AnsiString& dir);
bool RemoveDir(const AnsiString& dir);
bool DeleteFile(const AnsiString& path);
bool RenameFile(const AnsiString& oldName, const AnsiString& newName);
AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);
// Free bytes of drive 0 = current, 1 = A:, 2 = B:, 3 = C: ...; -1 when invalid.
long long DiskFree(unsigned char drive);
long long DiskSize(unsigned char drive);
int FileAge(const AnsiString& path);  // DOS date-time, -1 when missing
int FileGetDate(int handle);
int FileSetDate(const AnsiString& path, int age);  // 0 or the system error code
int FileSetDate(int handle, int age);
int FileGetAttr(const AnsiString& path);
int FileSetAttr(const AnsiString& path, int attr);
long long FileSizeOf(const AnsiString& path);  // -1 when missing

// Low-level file handles of the class library (FileOpen/FileCreate...): handle -1 on failure.
enum {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};
int FileOpen(const AnsiString& path, unsigned mode);
int FileCreate(const AnsiString& path);
int FileRead(int handle, void* buffer, int count);
int FileWrite(int handle, const void* buffer, int count);
long long FileSeek(int handle, long long offset, int origin);
void FileClose(int handle);

// File search
enum {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faAnyFile = 0x3F,
};
struct TSearchRec {
  int Time = 0;
  long long Size = 0;
  int Attr = 0;
  AnsiString Name;
  int ExcludeAttr = 0;
  void* FindHandle = nullptr;
};
int FindFirst(const AnsiString& path, int attr, TSearchRec& rec);  // 0 on success
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);

// Date and time: TDateTime is days since 1899-12-30 with the time as fraction.
typedef double TDateTime;
TDateTime Now();
TDateTime FileDateToDateTime(int fileDate);
int DateTimeToFileDate(TDateTime dt);
AnsiString FormatDateTime(const AnsiString& format, TDateTime dt);

// The program's command line split by the Windows rules: ParamStr(0) is the program, 1.. the
// arguments; an index out of range gives "".
int ParamCount();
AnsiString ParamStr(int index);

// Locale settings (Korean defaults) used by FormatFloat, FloatToStr and FormatDateTime
extern char ThousandSeparator;
extern char DecimalSeparator;
extern char DateSeparator;
extern char TimeSeparator;
