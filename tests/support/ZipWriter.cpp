#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace ztest {

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string Deflate(const std::string& data, int level) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&zs, data.size()) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

// Traditional PKWARE encryption keys.
struct CryptKeys {
  uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  static uint32_t CrcByte(uint32_t crc, uint8_t b) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    return crc;
  }
  void Update(uint8_t c) {
    k0 = CrcByte(k0, c);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcByte(k2, static_cast<uint8_t>(k1 >> 24));
  }
  uint8_t Stream() const {
    uint32_t t = (k2 | 2) & 0xFFFF;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  explicit CryptKeys(const std::string& password) {
    for (unsigned char c : password) Update(c);
  }
  uint8_t Encrypt(uint8_t plain) {
    uint8_t c = plain ^ Stream();
    Update(plain);
    return c;
  }
};

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), size));
}

uint32_t Crc32(const std::string& data) { return Crc32(data.data(), data.size(), 0); }

uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

ZipWriter::ZipWriter() = default;

ZipWriter::~ZipWriter() {
  if (file_) std::fclose(file_);
}

void ZipWriter::Emit(const std::string& bytes) {
  if (partSize_ > 0) {
    size_t at = 0;
    while (at < bytes.size()) {
      if (parts_.back().size() >= partSize_) parts_.emplace_back();
      size_t n = std::min(bytes.size() - at, partSize_ - parts_.back().size());
      parts_.back().append(bytes, at, n);
      at += n;
    }
  } else if (file_) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
  } else {
    memory_ += bytes;
  }
  written_ += bytes.size();
}

void ZipWriter::EmitRecord(const std::string& bytes) {
  if (partSize_ > 0 && bytes.size() <= partSize_ && partSize_ - parts_.back().size() < bytes.size())
    parts_.emplace_back();
  Emit(bytes);
}

uint64_t ZipWriter::Position() const {
  if (partSize_ > 0) return parts_.back().size() == partSize_ ? 0 : parts_.back().size();
  return written_ - (adjustOffsets_ ? 0 : prefix_.size());
}

void ZipWriter::Start() {
  if (started_) return;
  started_ = true;
  if (partSize_ > 0) {
    if (partSize_ < 65536) partSize_ = 65536;
    parts_.emplace_back();
    std::string marker;
    Put32(marker, 0x08074b50);
    Emit(marker);
  } else {
    Emit(prefix_);
  }
}

ZipWriter& ZipWriter::AddFile(const std::string& name, const std::string& data, uint16_t method) {
  ZipEntrySpec e;
  e.name = name;
  e.data = data;
  e.method = method;
  return Add(e);
}

ZipWriter& ZipWriter::AddDir(const std::string& name) {
  ZipEntrySpec e;
  e.name = name;
  if (e.name.empty() || (e.name.back() != '/' && e.name.back() != '\\')) e.name += '/';
  e.method = 0;
  return Add(e);
}

ZipWriter& ZipWriter::Add(const ZipEntrySpec& entry) {
  Start();
  EmitEntry(entry);
  return *this;
}

void ZipWriter::EmitEntry(const ZipEntrySpec& e) {
  Central c;
  c.spec = e;
  c.spec.data.clear();
  bool isDir = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
  if (isDir) c.spec.externalAttr |= 0x10;
  c.crc = Crc32(e.data);
  if (e.corruptCrc) c.crc ^= 0x5A5A5A5A;
  c.size = e.data.size();

  std::string payload = e.method == 8 ? Deflate(e.data, level_) : e.data;
  c.flags = 0;
  if (e.utf8) c.flags |= 0x0800;
  if (e.dataDescriptor) c.flags |= 0x0008;
  if (!e.password.empty()) {
    c.flags |= 0x0001;
    CryptKeys keys(e.password);
    std::string header(12, '\0');
    for (int i = 0; i < 11; ++i) header[i] = static_cast<char>((i * 37 + c.crc) & 0xFF);
    // The last header byte lets an extractor check the password before reading the data.
    header[11] = static_cast<char>(e.dataDescriptor ? (e.dosTime >> 8) : (c.crc >> 24));
    std::string encrypted;
    encrypted.reserve(12 + payload.size());
    for (char ch : header) encrypted.push_back(static_cast<char>(keys.Encrypt(static_cast<uint8_t>(ch))));
    for (char ch : payload) encrypted.push_back(static_cast<char>(keys.Encrypt(static_cast<uint8_t>(ch))));
    payload.swap(encrypted);
  }
  c.compressedSize = payload.size();
  if (e.truncateData > 0) payload.resize(payload.size() > e.truncateData ? payload.size() - e.truncateData : 0);

  std::string h;
  Put32(h, 0x04034b50);
  Put16(h, e.method == 0 ? 10 : 20);
  Put16(h, c.flags);
  Put16(h, e.method);
  Put16(h, e.dosTime);
  Put16(h, e.dosDate);
  Put32(h, e.dataDescriptor ? 0 : c.crc);
  Put32(h, e.dataDescriptor ? 0 : static_cast<uint32_t>(c.compressedSize));
  Put32(h, e.dataDescriptor ? 0 : static_cast<uint32_t>(c.size));
  Put16(h, static_cast<uint32_t>(e.name.size()));
  Put16(h, static_cast<uint32_t>(e.extra.size()));
  h += e.name;
  h += e.extra;
  EmitRecord(h);
  // The header fitted where it was written: its part and its offset in that part.
  c.disk = Disk();
  c.offset = (partSize_ > 0 ? parts_.back().size() : Position()) - h.size();
  Emit(payload);
  if (e.dataDescriptor) {
    std::string d;
    if (e.descriptorSignature) Put32(d, 0x08074b50);
    Put32(d, c.crc);
    Put32(d, static_cast<uint32_t>(c.compressedSize));
    Put32(d, static_cast<uint32_t>(c.size));
    EmitRecord(d);
  }
  c.compressedSize = static_cast<uint64_t>(static_cast<int64_t>(c.compressedSize) + e.centralCompressedSizeDelta);
  central_.push_back(std::move(c));
}

std::string ZipWriter::CentralRecord(const Central& c) const {
  std::string cd;
  const ZipEntrySpec& e = c.spec;
  Put32(cd, 0x02014b50);
  Put16(cd, e.versionMadeBy);
  Put16(cd, e.method == 0 ? 10 : 20);
  Put16(cd, c.flags);
  Put16(cd, e.method);
  Put16(cd, e.dosTime);
  Put16(cd, e.dosDate);
  Put32(cd, c.crc);
  Put32(cd, static_cast<uint32_t>(c.compressedSize));
  Put32(cd, static_cast<uint32_t>(c.size));
  Put16(cd, static_cast<uint32_t>(e.name.size()));
  Put16(cd, static_cast<uint32_t>(e.extra.size()));
  Put16(cd, static_cast<uint32_t>(e.comment.size()));
  Put16(cd, c.disk);
  Put16(cd, 0);
  Put32(cd, e.externalAttr);
  Put32(cd, static_cast<uint32_t>(c.offset));
  cd += e.name;
  cd += e.extra;
  cd += e.comment;
  return cd;
}

void ZipWriter::Finish() {
  Start();
  uint32_t cdDisk = Disk();
  uint64_t cdOffset = Position(), cdSize = 0;
  std::vector<uint32_t> recordDisks;
  for (size_t i = 0; i < central_.size(); ++i) {
    std::string rec = CentralRecord(central_[i]);
    EmitRecord(rec);
    if (i == 0) {
      cdDisk = Disk();
      cdOffset = (partSize_ > 0 ? parts_.back().size() : Position()) - rec.size();
    }
    recordDisks.push_back(Disk());
    cdSize += rec.size();
  }
  std::string end;
  Put32(end, 0x06054b50);
  if (partSize_ > 0 && partSize_ - parts_.back().size() < 22 + comment_.size()) parts_.emplace_back();
  uint32_t lastDisk = Disk();
  uint32_t entriesHere = static_cast<uint32_t>(std::count(recordDisks.begin(), recordDisks.end(), lastDisk));
  Put16(end, lastDisk);
  Put16(end, cdDisk);
  Put16(end, entriesHere);
  Put16(end, static_cast<uint32_t>(central_.size()));
  Put32(end, static_cast<uint32_t>(cdSize));
  Put32(end, static_cast<uint32_t>(cdOffset));
  Put16(end, static_cast<uint32_t>(comment_.size()));
  end += comment_;
  EmitRecord(end);
}

std::string ZipWriter::Build() {
  Finish();
  std::string out;
  out.swap(memory_);
  return out;
}

std::vector<std::string> ZipWriter::BuildParts() {
  if (partSize_ == 0) return {Build()};
  Finish();
  std::vector<std::string> out;
  out.swap(parts_);
  return out;
}

bool ZipWriter::WriteParts(const std::string& unixBase) {
  std::vector<std::string> parts = BuildParts();
  for (size_t i = 0; i < parts.size(); ++i) {
    char ext[32];
    if (i + 1 == parts.size())
      std::snprintf(ext, sizeof ext, ".zip");
    else
      std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
    std::FILE* f = std::fopen((unixBase + ext).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(parts[i].data(), 1, parts[i].size(), f) == parts[i].size();
    if (std::fclose(f) != 0 || !ok) return false;
  }
  return true;
}

bool ZipWriter::Open(const std::string& unixPath) {
  file_ = std::fopen(unixPath.c_str(), "wb");
  return file_ != nullptr;
}

bool ZipWriter::Close() {
  if (!file_) return false;
  Finish();
  bool ok = std::fclose(file_) == 0 && !failed_;
  file_ = nullptr;
  return ok;
}

namespace {

uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(s[at + static_cast<size_t>(k)]);
  return v;
}

void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

// The central directory of an archive without a comment.
std::string DirectoryOf(const std::string& archive) {
  const size_t end = archive.size() - 22;
  return archive.substr(Get32(archive, end + 16), Get32(archive, end + 12));
}

}  // namespace

std::string WithDecoyDirectory(const std::string& archive, const std::string& decoy, size_t trailing) {
  std::string comment = DirectoryOf(decoy);
  std::string record = decoy.substr(decoy.size() - 22, 16);
  Put32(record, static_cast<uint32_t>(archive.size()));  // the decoy's directory, where it now sits
  Put16(record, 0);
  comment += record + std::string(trailing, '\0');
  std::string out = archive.substr(0, archive.size() - 2);
  Put16(out, static_cast<uint32_t>(comment.size()));
  return out + comment;
}

std::string WithZip64Directory(const std::string& archive, const std::string& decoy) {
  const std::string real = DirectoryOf(archive), shown = DirectoryOf(decoy);
  const size_t entries = Get32(archive, archive.size() - 12) & 0xFFFF;
  const size_t shownEntries = Get32(decoy, decoy.size() - 12) & 0xFFFF;
  std::string out = archive.substr(0, Get32(archive, archive.size() - 6)) + shown;
  const uint64_t realAt = out.size();
  out += real;
  const uint64_t recordAt = out.size();
  Put32(out, 0x06064b50);
  Put64(out, 44);
  Put16(out, 45);
  Put16(out, 45);
  Put32(out, 0);
  Put32(out, 0);
  Put64(out, entries);
  Put64(out, entries);
  Put64(out, real.size());
  Put64(out, realAt);
  Put32(out, 0x07064b50);
  Put32(out, 0);
  Put64(out, recordAt);
  Put32(out, 1);
  const uint32_t shownSize = static_cast<uint32_t>(out.size() + 22 - (realAt - shown.size()) - 22);
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(shownEntries));
  Put16(out, static_cast<uint32_t>(shownEntries));
  Put32(out, shownSize);  // from the decoy's directory to this record
  Put32(out, 0xFFFFFFFF);
  Put16(out, 0);
  return out;
}

bool ZipWriter::WriteTo(const std::string& unixPath) {
  std::string bytes = Build();
  std::FILE* f = std::fopen(unixPath.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace ztest
