// Handle table, last-error value, system message texts and the process heap.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include "Internal.h"

namespace winplat {

namespace {
std::mutex g_handleMutex;
std::map<uintptr_t, std::shared_ptr<Object>>& HandleTable() {
  static std::map<uintptr_t, std::shared_ptr<Object>> table;
  return table;
}
uintptr_t g_nextHandle = 0x100;
thread_local DWORD t_lastError = 0;
}  // namespace

HANDLE AddHandle(std::shared_ptr<Object> object) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  uintptr_t value = g_nextHandle;
  g_nextHandle += 4;
  HandleTable()[value] = std::move(object);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> LookupHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  auto it = HandleTable().find(reinterpret_cast<uintptr_t>(handle));
  if (it == HandleTable().end()) return nullptr;
  return it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<Object> keep;  // destroyed outside the lock: a destructor may close files
  std::lock_guard<std::mutex> lock(g_handleMutex);
  auto it = HandleTable().find(reinterpret_cast<uintptr_t>(handle));
  if (it == HandleTable().end()) return false;
  keep = std::move(it->second);
  HandleTable().erase(it);
  return true;
}

DWORD ErrnoToError(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EIO: return ERROR_WRITE_FAULT;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case ESRCH: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
  }
}

void SetErrorFromErrno(int error) { ::SetLastError(ErrnoToError(error)); }

DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer && size > text.size()) {
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
  }
  return static_cast<DWORD>(text.size() + 1);
}

}  // namespace winplat

using namespace winplat;

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

namespace {
struct SystemMessage {
  DWORD code;
  const char* text;
};
// Our own English wording; every text ends with CR LF as system messages do.
const SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file: too many files are open."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory is available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough memory is available to complete this operation."},
    {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the file."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_BAD_EXE_FORMAT, "The program is not a valid application."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section."},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."},
    {ERROR_BADKEY, "The configuration registry key is invalid."},
    {ERROR_CANTOPEN, "The configuration registry key could not be opened."},
    {ERROR_CANTREAD, "The configuration registry key could not be read."},
    {ERROR_CANTWRITE, "The configuration registry key could not be written."},
};
}  // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
  (void)dwLanguageId;
  (void)Arguments;
  std::string text;
  if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
    if (!lpSource) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    text = static_cast<const char*>(lpSource);
  } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
    const char* found = nullptr;
    for (const SystemMessage& m : kSystemMessages)
      if (m.code == dwMessageId) found = m.text;
    if (!found) {
      SetLastError(ERROR_MR_MID_NOT_FOUND);
      return 0;
    }
    text = std::string(found) + "\r\n";
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK) {
    // No line breaks wanted: the trailing CR LF goes.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  }
  if (!lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    size_t bytes = std::max<size_t>(text.size() + 1, nSize);
    char* block = static_cast<char*>(malloc(bytes));
    if (!block) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    memcpy(block, text.c_str(), text.size() + 1);
    *reinterpret_cast<char**>(lpBuffer) = block;
    return static_cast<DWORD>(text.size());
  }
  if (nSize <= text.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpBuffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

HANDLE WINAPI LocalFree(HANDLE hMem) {
  free(hMem);
  return nullptr;
}

// The process heap is the C heap; the handle only has to be recognisable.
namespace {
int g_processHeap;
}

HANDLE WINAPI GetProcessHeap(void) { return &g_processHeap; }

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (hHeap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* block = (dwFlags & HEAP_ZERO_MEMORY) ? calloc(1, dwBytes ? dwBytes : 1) : malloc(dwBytes ? dwBytes : 1);
  if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
  (void)dwFlags;
  if (hHeap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  free(lpMem);
  return TRUE;
}
