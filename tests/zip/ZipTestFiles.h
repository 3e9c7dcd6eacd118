// Files for the archive tests: writing and reading bytes behind DOS paths, patching fields of
// stored records, and a worker or component that records what it reports.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ZBWrkr.h"
#include "ZipTestDrives.h"
#include "ZipWriter.h"
#include "winplat.h"

namespace ziptest {

inline void WriteBytes(const std::string& unixPath, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(unixPath).parent_path());
  std::ofstream out(unixPath, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadBytes(const std::string& unixPath) {
  std::ifstream in(unixPath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
inline uint16_t Get16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}
inline void Set32(std::string& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
inline void Set16(std::string& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }

// Offsets of an archive without a comment: its end record and its central headers.
struct Layout {
  size_t eoc = 0;
  std::vector<size_t> central;
  std::vector<size_t> local;
};
inline Layout LayoutOf(const std::string& b) {
  Layout l;
  l.eoc = b.rfind(std::string("PK\x05\x06", 4));
  size_t at = Get32(b, l.eoc + 16);
  const int n = Get16(b, l.eoc + 10);
  for (int i = 0; i < n && at + 46 <= b.size() && Get32(b, at) == ZIP_CENTRAL_SIG; ++i) {
    l.central.push_back(at);
    l.local.push_back(Get32(b, at + 42));
    at += 46 + Get16(b, at + 28) + Get16(b, at + 30) + Get16(b, at + 32);
  }
  return l;
}

// Random bytes that deflate cannot shrink.
inline std::string Noise(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = char(seed >> 23);
  }
  return s;
}

#ifdef ZIP_ENGINE_DIR
// The Unix folder of the zip engine library as a DOS path (C: is the root folder).
inline AnsiString EngineDir() { return AnsiString(winplat::UnixToDos(ZIP_ENGINE_DIR)); }
#endif

struct Message {
  int code;
  std::string text;
};

// Records every OnMessage call of an event table.
inline void RecordMessages(TZBEvents* events, std::vector<Message>& into) {
  events->OnMessage = [&into](TObject*, int code, const AnsiString& text) { into.push_back({code, text.str()}); };
}

inline bool HasCode(const std::vector<Message>& messages, int code) {
  for (const Message& m : messages)
    if (m.code == code) return true;
  return false;
}

inline std::string Dump(const std::vector<Message>& messages) {
  std::string all;
  for (const Message& m : messages) all += std::to_string(m.code) + ": " + m.text + "\n";
  return all;
}

}  // namespace ziptest
