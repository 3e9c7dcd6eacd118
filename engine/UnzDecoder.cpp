#include "UnzDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace zbe {

namespace {

constexpr size_t kInChunk = 256 * 1024;
constexpr size_t kOutChunk = 256 * 1024;

const uint32_t* CrcTable() {
  static const uint32_t* table = [] {
    static uint32_t t[256];
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      t[i] = c;
    }
    return t;
  }();
  return table;
}

inline uint32_t CrcByte(uint32_t crc, unsigned char b) { return CrcTable()[(crc ^ b) & 0xFF] ^ (crc >> 8); }

struct InflateStream {
  z_stream zs{};
  bool open = false;
  ~InflateStream() {
    if (open) inflateEnd(&zs);
  }
};

}  // namespace

ZCryptKeys::ZCryptKeys(const std::string& password) {
  for (unsigned char c : password) Update(c);
}

void ZCryptKeys::Update(unsigned char plain) {
  k0_ = CrcByte(k0_, plain);
  k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
  k2_ = CrcByte(k2_, static_cast<unsigned char>(k1_ >> 24));
}

void ZCryptKeys::Decrypt(unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    uint32_t t = (k2_ | 2) & 0xFFFF;
    unsigned char plain = data[i] ^ static_cast<unsigned char>((t * (t ^ 1)) >> 8);
    Update(plain);
    data[i] = plain;
  }
}

bool CheckPassword(const unsigned char header[kCryptHeaderSize], const ZEntry& entry,
                   const std::string& password, ZCryptKeys& keys) {
  ZCryptKeys trial(password);
  unsigned char h[kCryptHeaderSize];
  std::copy(header, header + kCryptHeaderSize, h);
  trial.Decrypt(h, kCryptHeaderSize);
  // Writers that stream (data descriptor) cannot know the CRC yet and check the time instead.
  bool ok = h[11] == static_cast<unsigned char>(entry.crc >> 24) ||
            (entry.HasDataDescriptor() && h[11] == static_cast<unsigned char>(entry.dosTime >> 8));
  if (ok) keys = trial;
  return ok;
}

bool IsSupportedMethod(uint16_t method) { return method == 0 || method == 8; }

DecodeOutcome DecodeEntry(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                          const DecodeSink& sink) {
  DecodeOutcome out;
  uint64_t remaining = entry.compressedSize;
  if (keys) {
    if (remaining < kCryptHeaderSize) {
      out.result = DecodeResult::Damaged;
      out.detail = "encrypted data shorter than its header";
      return out;
    }
    remaining -= kCryptHeaderSize;
  }
  uint64_t offset = dataOffset;
  uLong crc = crc32(0, nullptr, 0);
  std::vector<unsigned char> in(static_cast<size_t>(std::min<uint64_t>(kInChunk, remaining > 0 ? remaining : 1)));

  auto readChunk = [&](size_t& got) -> bool {
    got = static_cast<size_t>(std::min<uint64_t>(in.size(), remaining));
    if (!source.ReadAt(offset, in.data(), got)) return false;
    if (keys) keys->Decrypt(in.data(), got);
    offset += got;
    remaining -= got;
    return true;
  };

  if (entry.method == 0) {
    if (entry.compressedSize - (keys ? kCryptHeaderSize : 0) != entry.size) {
      out.result = DecodeResult::Damaged;
      out.detail = "stored entry with different sizes";
      return out;
    }
    while (remaining > 0) {
      size_t got = 0;
      if (!readChunk(got)) {
        out.result = DecodeResult::ReadError;
        out.detail = "cannot read the entry's data";
        return out;
      }
      crc = crc32_z(crc, in.data(), got);
      out.produced += got;
      if (!sink(in.data(), got)) {
        out.result = DecodeResult::Stopped;
        return out;
      }
    }
  } else {
    InflateStream inf;
    if (inflateInit2(&inf.zs, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    inf.open = true;
    std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(kOutChunk, entry.size + 1)));
    bool finished = false;
    while (!finished) {
      if (inf.zs.avail_in == 0) {
        if (remaining == 0) {
          out.result = DecodeResult::Damaged;
          out.detail = "compressed data ends early";
          return out;
        }
        size_t got = 0;
        if (!readChunk(got)) {
          out.result = DecodeResult::ReadError;
          out.detail = "cannot read the entry's data";
          return out;
        }
        inf.zs.next_in = in.data();
        inf.zs.avail_in = static_cast<uInt>(got);
      }
      inf.zs.next_out = buf.data();
      inf.zs.avail_out = static_cast<uInt>(buf.size());
      int rc = inflate(&inf.zs, Z_NO_FLUSH);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        out.result = DecodeResult::Damaged;
        out.detail = "compressed data is damaged";
        return out;
      }
      size_t n = buf.size() - inf.zs.avail_out;
      if (n > entry.size - out.produced) {
        out.result = DecodeResult::Damaged;
        out.detail = "data longer than the size in the directory";
        return out;
      }
      if (n > 0) {
        crc = crc32_z(crc, buf.data(), n);
        out.produced += n;
        if (!sink(buf.data(), n)) {
          out.result = DecodeResult::Stopped;
          return out;
        }
      }
      finished = rc == Z_STREAM_END;
    }
  }
  out.crc = static_cast<uint32_t>(crc);
  if (out.produced != entry.size) {
    out.result = DecodeResult::Damaged;
    out.detail = "data shorter than the size in the directory";
  } else if (out.crc != entry.crc) {
    out.result = DecodeResult::CrcMismatch;
  }
  return out;
}

}  // namespace zbe
