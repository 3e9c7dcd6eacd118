#include "UnzSource.h"

#include <cstring>

namespace zbe {

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

FileSource::~FileSource() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool FileSource::Open(const char* dosPath) {
  handle_ = CreateFileA(dosPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_, &size) || size.QuadPart < 0) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return false;
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
  position_ = 0;
  return true;
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (handle_ == INVALID_HANDLE_VALUE || offset > size_ || size > size_ - offset) return false;
  // Entries are read front to back, so most reads need no seek.
  if (offset != position_) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return false;
    position_ = offset;
  }
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(handle_, out, chunk, &got, nullptr) || got == 0) {
      position_ = UINT64_MAX;
      return false;
    }
    out += got;
    size -= got;
    position_ += got;
  }
  return true;
}

}  // namespace zbe
