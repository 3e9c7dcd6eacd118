// A small zip archive writer for tests and benchmarks: stored and deflated entries, folders,
// data descriptors, comments, the UTF-8 name flag, traditional encryption, arbitrary name bytes,
// bytes before the archive, deliberate damage, and split sets.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace ztest {

uint32_t Crc32(const std::string& data);
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
// DOS date and time words as stored in zip headers (local time, 2-second steps).
uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

struct ZipEntrySpec {
  std::string name;            // stored bytes, as given ("dir/a.txt", "..\\x", CP949 or UTF-8)
  std::string data;            // uncompressed content
  uint16_t method = 8;         // 0 stored, 8 deflated; any other id stores the data unchanged
  bool utf8 = false;           // general-purpose bit 11
  bool dataDescriptor = false; // bit 3: sizes and CRC after the data, zero in the local header
  bool descriptorSignature = true;
  std::string password;        // traditional encryption when not empty
  uint16_t dosDate = 0x5A21;   // 2025-01-01
  uint16_t dosTime = 0x6000;   // 12:00:00
  uint32_t externalAttr = 0;   // 0x10 marks a folder (set automatically for names ending in '/')
  uint16_t versionMadeBy = 20; // high byte 3 = Unix
  std::string extra;           // extra field, local and central
  std::string comment;         // entry comment (central only)
  // Damage for tests: a wrong CRC in both headers; a different compressed size in the central
  // directory; drop the last n bytes of the compressed data (the headers still claim them).
  bool corruptCrc = false;
  int64_t centralCompressedSizeDelta = 0;
  size_t truncateData = 0;
};

// Two directories in one file, for readers that must agree on which is the archive's: archive
// (without a comment) with decoy's directory and end record as its comment, then trailing zero
// bytes. The last end record in the file is decoy's; the one whose comment ends the file is
// archive's. decoy's entries must be archive's first ones, written alike.
std::string WithDecoyDirectory(const std::string& archive, const std::string& decoy, size_t trailing = 5);
// archive's directory named by a Zip64 end record, and decoy's by the fields of the end record
// itself (its directory offset all ones): a reader of Zip64 records sees archive's entries, one
// that knows none decoy's. decoy's entries must be archive's first ones, written alike.
std::string WithZip64Directory(const std::string& archive, const std::string& decoy);

// Writes an archive either into memory (Build) or straight to a file (Open/Add/Close), so that
// archives of hundreds of megabytes need only one entry in memory at a time.
class ZipWriter {
 public:
  ZipWriter();
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Bytes written before the first local header (an executable stub, junk). With adjust the
  // stored offsets count from the start of the file, as self-extracting archives do; without,
  // they count from the first local header, as when a stub is simply put in front.
  void SetPrefix(const std::string& bytes, bool adjust = true) {
    prefix_ = bytes;
    adjustOffsets_ = adjust;
  }
  void SetComment(const std::string& comment) { comment_ = comment; }
  // Level for deflated entries (zlib 0..9, -1 default).
  void SetLevel(int level) { level_ = level; }

  ZipWriter& Add(const ZipEntrySpec& entry);
  ZipWriter& AddFile(const std::string& name, const std::string& data, uint16_t method = 8);
  ZipWriter& AddDir(const std::string& name);

  // In-memory mode: the whole archive.
  std::string Build();
  // Split set: call before the first Add. Parts hold at most partSize bytes (at least 64 KB, as
  // Info-ZIP cuts them); the first starts with the spanning marker 50 4b 07 08, headers never
  // straddle two parts, every offset counts from the start of its part and the end record
  // sits in the last part with its disk numbers.
  void SetSplit(size_t partSize) { partSize_ = partSize; }
  std::vector<std::string> BuildParts();
  // Writes the parts as base.z01, base.z02, ... and base.zip (the last part).
  bool WriteParts(const std::string& unixBase);
  // File mode: entries added after Open go straight to the file; Close writes the directory.
  bool Open(const std::string& unixPath);
  bool Close();
  // Bytes written so far (prefix, entries; the directory once built).
  uint64_t Written() const { return written_; }
  // Build and write in one step.
  bool WriteTo(const std::string& unixPath);


 private:
  struct Central {
    ZipEntrySpec spec;  // data cleared
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint64_t offset = 0;  // from the start of the file, or of its part in a split set
    uint32_t disk = 0;
    uint16_t flags = 0;
  };
  void Start();
  void Emit(const std::string& bytes);
  // A header: in a split set it starts a new part rather than straddle two.
  void EmitRecord(const std::string& bytes);
  uint64_t Position() const;
  uint32_t Disk() const { return parts_.empty() ? 0 : static_cast<uint32_t>(parts_.size() - 1); }
  void EmitEntry(const ZipEntrySpec& entry);
  std::string CentralRecord(const Central& c) const;
  void Finish();

  std::string prefix_;
  bool adjustOffsets_ = true;
  std::string comment_;
  int level_ = -1;
  std::vector<Central> central_;
  uint64_t written_ = 0;
  bool started_ = false;
  std::string memory_;
  size_t partSize_ = 0;
  std::vector<std::string> parts_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace ztest
