// TStream and the handle, file and memory streams.
#include <algorithm>
#include <cstring>

#include "Classes.h"
#include "FileHandles.h"
#include "windows.h"

// ---------------------------------------------------------------- TStream

void TStream::ReadBuffer(void* buffer, int count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

long long TStream::GetSize() {
  long long pos = Seek(0, soFromCurrent);
  long long size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(long long) {}

long long TStream::CopyFrom(TStream* source, long long count) {
  if (count == 0) {
    source->SetPosition(0);
    count = source->GetSize();
  }
  const int maxBuffer = 0xF000;
  std::vector<char> buffer(size_t(std::min<long long>(count, maxBuffer)));
  long long done = 0;
  while (done < count) {
    int n = int(std::min<long long>(count - done, maxBuffer));
    source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    done += n;
  }
  return done;
}

// ---------------------------------------------------------------- handle and file streams

int THandleStream::Read(void* buffer, int count) {
  int n = FileRead(FHandle, buffer, count);
  return n < 0 ? 0 : n;
}

int THandleStream::Write(const void* buffer, int count) {
  int n = FileWrite(FHandle, buffer, count);
  return n < 0 ? 0 : n;
}

long long THandleStream::Seek(long long offset, int origin) { return FileSeek(FHandle, offset, origin); }

void THandleStream::SetSize(long long newSize) {
  Seek(newSize, soFromBeginning);
  if (!SetEndOfFile(vclimpl::FileHandleOf(FHandle))) throw EOSError(SysErrorMessage(int(GetLastError())));
}

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode) : THandleStream(-1), FileName(fileName) {
  if (mode == fmCreate) {
    FHandle = FileCreate(fileName);
    if (FHandle < 0) throw EFCreateError("Cannot create file " + fileName);
  } else {
    FHandle = FileOpen(fileName, mode);
    if (FHandle < 0) throw EFOpenError("Cannot open file " + fileName);
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) FileClose(FHandle);
}

// ---------------------------------------------------------------- memory streams

int TCustomMemoryStream::Read(void* buffer, int count) {
  if (FPosition < 0 || count <= 0 || FPosition >= FSize) return 0;
  long long n = std::min<long long>(FSize - FPosition, count);
  std::memcpy(buffer, FMemory + FPosition, size_t(n));
  FPosition += n;
  return int(n);
}

long long TCustomMemoryStream::Seek(long long offset, int origin) {
  switch (origin) {
    case soFromBeginning: FPosition = offset; break;
    case soFromCurrent: FPosition += offset; break;
    case soFromEnd: FPosition = FSize + offset; break;
  }
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) {
  for (long long done = 0; done < FSize;) {
    int n = int(std::min<long long>(FSize - done, 0x40000000));
    stream->WriteBuffer(FMemory + done, n);
    done += n;
  }
}

void TCustomMemoryStream::SaveToFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(&stream);
}

TMemoryStream::~TMemoryStream() = default;

void TMemoryStream::MakeOwn(long long size) {
  if (FMemory && FMemory != FBuffer.data()) {
    std::vector<char> own(FMemory, FMemory + FSize);
    FBuffer.swap(own);
  }
  if (size > (long long)FBuffer.capacity()) FBuffer.reserve(size_t(std::max<long long>(size, FBuffer.capacity() * 2)));
  FBuffer.resize(size_t(size));
  FMemory = FBuffer.empty() ? nullptr : FBuffer.data();
  FSize = size;
}

int TMemoryStream::Write(const void* buffer, int count) {
  if (FPosition < 0 || count <= 0) return 0;
  long long end = FPosition + count;
  if (end > FSize) MakeOwn(end);
  std::memcpy(FMemory + FPosition, buffer, size_t(count));
  FPosition = end;
  return count;
}

void TMemoryStream::SetSize(long long newSize) {
  if (newSize < 0) newSize = 0;
  MakeOwn(newSize);
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
  std::vector<char>().swap(FBuffer);
  SetPointer(nullptr, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  long long count = stream->GetSize();
  SetSize(count);
  for (long long done = 0; done < count;) {
    int n = int(std::min<long long>(count - done, 0x40000000));
    stream->ReadBuffer(FMemory + done, n);
    done += n;
  }
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}
