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
    // A remote drive (network file system) that fails as a share does on Windows.
    case ESTALE:
    case ECONNRESET:
    case ENOTCONN: return ERROR_NETNAME_DELETED;
    case ETIMEDOUT: return ERROR_SEM_TIMEOUT;
    case ENETDOWN:
    case ENETUNREACH: return ERROR_NETWORK_UNREACHABLE;
    case EHOSTDOWN:
    case EHOSTUNREACH: return ERROR_HOST_UNREACHABLE;
    case ECONNREFUSED: return ERROR_CONNECTION_REFUSED;
    case ECONNABORTED: return ERROR_CONNECTION_ABORTED;
    case ENOLINK:
    case ECOMM:
    case EREMOTEIO: return ERROR_UNEXP_NET_ERR;
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
  const char* text;  // UTF-8 here; the program gets code page 949
};
// The wording of a Korean Windows system; FormatMessageA adds the CR LF that ends every
// system message.
const SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "작업을 완료했습니다."},
    {ERROR_INVALID_FUNCTION, "기능이 잘못되었습니다."},
    {ERROR_FILE_NOT_FOUND, "지정된 파일을 찾을 수 없습니다."},
    {ERROR_PATH_NOT_FOUND, "지정된 경로를 찾을 수 없습니다."},
    {ERROR_TOO_MANY_OPEN_FILES, "시스템에서 파일을 열 수 없습니다."},
    {ERROR_ACCESS_DENIED, "액세스가 거부되었습니다."},
    {ERROR_INVALID_HANDLE, "핸들이 잘못되었습니다."},
    {ERROR_NOT_ENOUGH_MEMORY, "이 명령을 처리하기에는 저장 공간이 부족합니다."},
    {ERROR_INVALID_DATA, "데이터가 잘못되었습니다."},
    {ERROR_OUTOFMEMORY, "이 작업을 완료하기에는 저장 공간이 부족합니다."},
    {ERROR_INVALID_DRIVE, "지정된 드라이브를 찾을 수 없습니다."},
    {ERROR_NOT_SAME_DEVICE, "다른 디스크 드라이브로 파일을 이동할 수 없습니다."},
    {ERROR_NO_MORE_FILES, "더 이상 파일이 없습니다."},
    {ERROR_WRITE_PROTECT, "미디어가 쓰기 금지되어 있습니다."},
    {ERROR_NOT_READY, "장치가 준비되지 않았습니다."},
    {ERROR_BAD_LENGTH, "프로그램이 명령을 실행했으나 명령의 길이가 잘못되었습니다."},
    {ERROR_WRITE_FAULT, "시스템이 지정한 장치에 쓸 수 없습니다."},
    {ERROR_READ_FAULT, "시스템이 지정한 장치에서 읽을 수 없습니다."},
    {ERROR_GEN_FAILURE, "시스템에 부착된 장치가 작동하지 않습니다."},
    {ERROR_SHARING_VIOLATION, "다른 프로세스가 파일을 사용 중이기 때문에 프로세스가 액세스 할 수 없습니다."},
    {ERROR_LOCK_VIOLATION, "다른 프로세스가 파일의 일부를 잠그고 있어서 프로세스가 액세스할 수 없습니다."},
    {ERROR_HANDLE_EOF, "파일의 끝에 도달했습니다."},
    {ERROR_HANDLE_DISK_FULL, "디스크가 꽉 찼습니다."},
    {ERROR_NOT_SUPPORTED, "요청이 지원되지 않습니다."},
    {ERROR_BAD_NETPATH, "네트워크 경로를 찾을 수 없습니다."},
    {ERROR_NETWORK_BUSY, "네트워크가 사용 중입니다."},
    {ERROR_UNEXP_NET_ERR, "예기치 않은 네트워크 오류가 발생했습니다."},
    {ERROR_NETNAME_DELETED, "지정된 네트워크 이름을 더 이상 사용할 수 없습니다."},
    {ERROR_NETWORK_ACCESS_DENIED, "네트워크 액세스가 거부되었습니다."},
    {ERROR_BAD_NET_NAME, "네트워크 이름을 찾을 수 없습니다."},
    {ERROR_FILE_EXISTS, "파일이 있습니다."},
    {ERROR_INVALID_PARAMETER, "매개 변수가 틀립니다."},
    {ERROR_BUFFER_OVERFLOW, "파일 이름이 너무 깁니다."},
    {ERROR_DISK_FULL, "디스크 공간이 부족합니다."},
    {ERROR_SEM_TIMEOUT, "세마포 제한 시간이 만료되었습니다."},
    {ERROR_INSUFFICIENT_BUFFER, "시스템 호출에 전달된 데이터 영역이 너무 작습니다."},
    {ERROR_INVALID_NAME, "파일 이름, 디렉터리 이름 또는 볼륨 레이블 구문이 잘못되었습니다."},
    {ERROR_MOD_NOT_FOUND, "지정된 모듈을 찾을 수 없습니다."},
    {ERROR_PROC_NOT_FOUND, "지정된 프로시저를 찾을 수 없습니다."},
    {ERROR_NEGATIVE_SEEK, "파일 포인터를 파일의 시작 앞으로 옮기려고 했습니다."},
    {ERROR_DIR_NOT_EMPTY, "디렉터리가 비어 있지 않습니다."},
    {ERROR_BAD_PATHNAME, "지정된 경로가 잘못되었습니다."},
    {ERROR_ALREADY_EXISTS, "파일이 이미 있으므로 만들 수 없습니다."},
    {ERROR_BAD_EXE_FORMAT, "올바른 응용 프로그램이 아닙니다."},
    {ERROR_ENVVAR_NOT_FOUND, "시스템이 입력한 환경 옵션을 찾을 수 없습니다."},
    {ERROR_FILENAME_EXCED_RANGE, "파일 이름이나 확장명이 너무 깁니다."},
    {ERROR_MORE_DATA, "데이터가 더 있습니다."},
    {ERROR_NO_MORE_ITEMS, "데이터가 더 이상 없습니다."},
    {ERROR_DIRECTORY, "디렉터리 이름이 올바르지 않습니다."},
    {ERROR_INVALID_FLAGS, "플래그가 잘못되었습니다."},
    {ERROR_BADKEY, "구성 레지스트리 키가 잘못되었습니다."},
    {ERROR_CANTOPEN, "구성 레지스트리 키를 열 수 없습니다."},
    {ERROR_CANTREAD, "구성 레지스트리 키를 읽을 수 없습니다."},
    {ERROR_CANTWRITE, "구성 레지스트리 키를 쓸 수 없습니다."},
    {ERROR_KEY_DELETED, "삭제하도록 표시된 레지스트리 키에서 잘못된 작업을 시도했습니다."},
    {ERROR_NO_UNICODE_TRANSLATION, "대상 멀티바이트 코드 페이지에 유니코드 문자에 대한 매핑이 없습니다."},
    {ERROR_NO_NETWORK, "네트워크가 없거나 시작되지 않았습니다."},
    {ERROR_CONNECTION_REFUSED, "원격 컴퓨터가 네트워크 연결을 거부했습니다."},
    {ERROR_NETWORK_UNREACHABLE, "원격 네트워크에 연결할 수 없습니다."},
    {ERROR_HOST_UNREACHABLE, "원격 시스템에 연결할 수 없습니다."},
    {ERROR_CONNECTION_ABORTED, "로컬 시스템이 네트워크 연결을 중단했습니다."},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "지정된 이미지 파일에 리소스 섹션이 없습니다."},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "이미지 파일에서 지정된 리소스 종류를 찾을 수 없습니다."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "이미지 파일에서 지정된 리소스 이름을 찾을 수 없습니다."},
    {ERROR_CANT_RESOLVE_FILENAME, "시스템이 파일 이름을 확인할 수 없습니다."},
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
    text = Utf8ToCp949(found) + "\r\n";
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
