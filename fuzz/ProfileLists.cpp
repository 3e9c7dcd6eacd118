// The profile functions over arbitrary text in a buffer of any size: every list and value fits
// the caller's buffer (heap blocks of exactly that size), a list cut short is its first nSize-2
// bytes and two zeros with nSize-2 returned, a value is cut to nSize-1; and a file changed in
// place reads as a fresh file of the same text.
// Input: a size byte, then the first text, then "\0\0" and the text the file is changed to.
// A size byte from 0x80 is relative: each list's buffer is its full length -4..+3 (where the
// items fill it exactly); below 0x80 it is that byte and the next, the same size for all.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "windows.h"

using fuzzsupport::Check;

namespace {

struct Size {
  bool relative = false;
  long value = 0;
  DWORD For(size_t fullLength) const {
    long size = relative ? long(fullLength) + value : value;
    return DWORD(size < 0 ? 0 : size);
  }
};

// A read of a list or value into (buffer, size).
template <class Read>
std::string ReadWhole(Read read) {
  for (DWORD size = 256;; size *= 4) {
    std::vector<char> buffer(size);
    DWORD n = read(buffer.data(), size);
    if (n + 2 < size) return std::string(buffer.data(), n);
    Check(size < (64u << 20), "a list that never fits");
  }
}

// The same read into a block of exactly `size` bytes, checked against the whole result.
template <class Read>
void CheckCut(Read read, const std::string& whole, bool list, DWORD size, const char* what) {
  std::unique_ptr<char[]> buffer(new char[size]);
  memset(buffer.get(), 0x7F, size);
  DWORD n = read(buffer.get(), size);
  std::string got(buffer.get(), size);
  if (size == 0) {
    Check(n == 0, std::string(what) + ": no buffer, yet a length");
    return;
  }
  if (!list) {
    const size_t keep = std::min<size_t>(whole.size(), size - 1);
    Check(n == keep, std::string(what) + ": a value not cut to nSize-1");
    Check(got.compare(0, keep + 1, whole.substr(0, keep) + '\0') == 0, std::string(what) + ": not the value's start");
    return;
  }
  if (whole.size() < size) {
    Check(n == whole.size(), std::string(what) + ": a list that fits, yet another length");
    Check(got.compare(0, whole.size() + 1, whole + '\0') == 0, std::string(what) + ": a list that fits, changed");
    if (whole.empty() && size > 1) Check(got[1] == 0, std::string(what) + ": an empty list without two zeros");
  } else if (size == 1) {
    Check(n == 0 && got[0] == 0, std::string(what) + ": a buffer of one, not empty");
  } else {
    Check(n == size - 2, std::string(what) + ": a list cut short, not nSize-2");
    Check(got == whole.substr(0, size - 2) + std::string(2, '\0'),
          std::string(what) + ": a list cut short, not its start and two zeros");
  }
}

template <class Read>
std::string Checked(Read read, bool list, const Size& size, const char* what) {
  const std::string whole = ReadWhole(read);
  CheckCut(read, whole, list, size.For(whole.size()), what);
  return whole;
}

std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> items;
  for (size_t i = 0; i < list.size();) {
    items.push_back(list.c_str() + i);
    i += items.back().size() + 1;
  }
  return items;
}

// Every list and value the file gives, each also read into a buffer of the input's size.
std::string Describe(const std::string& dos, const Size& size) {
  const char* file = dos.c_str();
  std::string out;
  const std::string names = Checked(
      [&](char* b, DWORD n) { return GetPrivateProfileSectionNamesA(b, n, file); }, true, size, "section names");
  out += names + '\1';
  int sections = 0;
  for (const std::string& section : Items(names)) {
    if (++sections > 64) break;
    const char* s = section.c_str();
    const std::string keys = Checked(
        [&](char* b, DWORD n) { return GetPrivateProfileStringA(s, nullptr, "", b, n, file); }, true, size, "keys");
    out += keys + '\1';
    out += Checked([&](char* b, DWORD n) { return GetPrivateProfileSectionA(s, b, n, file); }, true, size,
                   "section lines") +
           '\1';
    for (const std::string& key : Items(keys)) {
      const char* k = key.c_str();
      out += Checked([&](char* b, DWORD n) { return GetPrivateProfileStringA(s, k, "", b, n, file); }, false, size,
                     "value") +
             '\1';
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  auto& root = fuzzsupport::Root::Get();
  Size bufferSize;
  size_t at = 1;
  if (data[0] & 0x80) {
    bufferSize.relative = true;
    bufferSize.value = long(data[0] & 7) - 4;
  } else {
    bufferSize.value = long(data[0]) << 8 | data[1];
    at = 2;
  }
  const std::string input(reinterpret_cast<const char*>(data) + at, size - at);
  const size_t split = input.find(std::string(2, '\0'));
  const std::string first = input.substr(0, split);
  const std::string second = split == std::string::npos ? first + "\r\n[ADDED]\r\nk=v\r\n" : input.substr(split + 2);

  const auto file = root.Drive() / "list.ini";
  // A name of its own each time, so that no reading of an earlier input answers for it.
  static unsigned long runs = 0;
  const auto fresh = root.Drive() / ("fresh" + std::to_string(++runs) + ".ini");
  fuzzsupport::WriteUnix(file, first);
  const std::string dos = fuzzsupport::Root::Dos(file);
  Describe(dos, bufferSize);
  // Changed in place (the same file, perhaps the same size and change time): read as new.
  fuzzsupport::WriteUnix(file, second);
  fuzzsupport::WriteUnix(fresh, second);
  Check(Describe(dos, bufferSize) == Describe(fuzzsupport::Root::Dos(fresh), bufferSize),
        "a file changed in place reads unlike a fresh file of its text");
  std::error_code ec;
  std::filesystem::remove(fresh, ec);
  return 0;
}
