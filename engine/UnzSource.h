// Where the engine reads an archive from: a file opened through the Windows API, or memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "windows.h"

namespace zbe {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly size bytes at offset; false on a short read or an error.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  std::string bytes_;
};

// The archive file, read-only, shared for reading.
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  // False with GetLastError set when the file cannot be opened.
  bool Open(const char* dosPath);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

}  // namespace zbe
