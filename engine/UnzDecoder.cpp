#include "UnzDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace zbe {

namespace {

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

// Lends a buffer and hands each piece to a function.
class FunctionSink : public ContentSink {
 public:
  FunctionSink(unsigned char* buffer, const DecodeSink& take) : buffer_(buffer), take_(take) {}
  unsigned char* Room() override { return buffer_; }
  bool Take(const unsigned char* data, size_t size) override { return take_(data, size); }

 private:
  unsigned char* buffer_;
  const DecodeSink& take_;
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

struct Decoder::Inflater {
  z_stream zs{};
  bool open = false;
  ~Inflater() {
    if (open) inflateEnd(&zs);
  }
  // Ready for a new raw deflate stream; the window and state stay allocated between entries.
  void Start() {
    if (open && inflateReset(&zs) != Z_OK) {
      inflateEnd(&zs);
      open = false;
    }
    if (!open) {
      zs = z_stream{};
      if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
      open = true;
    }
    zs.next_in = nullptr;
    zs.avail_in = 0;
  }
};

Decoder::Decoder() : inflater_(std::make_unique<Inflater>()) {}

Decoder::~Decoder() = default;

DecodeOutcome Decoder::Decode(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                              ContentSink& sink) {
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

  auto readPiece = [&](unsigned char* buffer, size_t& got) -> bool {
    got = static_cast<size_t>(std::min<uint64_t>(kPieceSize, remaining));
    if (!source.ReadAt(offset, buffer, got)) return false;
    if (keys) keys->Decrypt(buffer, got);
    offset += got;
    remaining -= got;
    return true;
  };
  auto deliver = [&](const unsigned char* data, size_t n) {
    crc = crc32_z(crc, data, n);
    out.produced += n;
    return sink.Take(data, n);
  };

  if (entry.method == 0) {
    if (entry.compressedSize - (keys ? kCryptHeaderSize : 0) != entry.size) {
      out.result = DecodeResult::Damaged;
      out.detail = "stored entry with different sizes";
      return out;
    }
    while (remaining > 0) {
      // Stored data is read straight into the sink's room.
      unsigned char* room = sink.Room();
      size_t got = 0;
      if (!readPiece(room, got)) {
        out.result = DecodeResult::ReadError;
        out.detail = "cannot read the entry's data";
        return out;
      }
      if (!deliver(room, got)) {
        out.result = DecodeResult::Stopped;
        return out;
      }
    }
  } else {
    if (!in_) in_ = std::make_unique_for_overwrite<unsigned char[]>(kPieceSize);
    Inflater& inf = *inflater_;
    inf.Start();
    unsigned char* room = nullptr;
    bool finished = false;
    while (!finished) {
      if (inf.zs.avail_in == 0 && remaining > 0) {
        size_t got = 0;
        if (!readPiece(in_.get(), got)) {
          out.result = DecodeResult::ReadError;
          out.detail = "cannot read the entry's data";
          return out;
        }
        inf.zs.next_in = in_.get();
        inf.zs.avail_in = static_cast<uInt>(got);
      }
      if (!room) room = sink.Room();
      inf.zs.next_out = room;
      inf.zs.avail_out = static_cast<uInt>(kPieceSize);
      int rc = inflate(&inf.zs, Z_NO_FLUSH);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        out.result = DecodeResult::Damaged;
        out.detail = "compressed data is damaged";
        return out;
      }
      size_t n = kPieceSize - inf.zs.avail_out;
      if (n > entry.size - out.produced) {
        out.result = DecodeResult::Damaged;
        out.detail = "data longer than the size in the directory";
        return out;
      }
      if (n > 0) {
        if (!deliver(room, n)) {
          out.result = DecodeResult::Stopped;
          return out;
        }
        room = nullptr;
      }
      finished = rc == Z_STREAM_END;
      // Without input, inflate may still owe output from what it has taken in (a piece that
      // filled the room); only a call that gives nothing more means the data ends early.
      if (!finished && n == 0 && inf.zs.avail_in == 0 && remaining == 0) {
        out.result = DecodeResult::Damaged;
        out.detail = "compressed data ends early";
        return out;
      }
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

DecodeOutcome Decoder::Decode(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                              const DecodeSink& sink) {
  if (!out_) out_ = std::make_unique_for_overwrite<unsigned char[]>(kPieceSize);
  FunctionSink adapter(out_.get(), sink);
  return Decode(source, dataOffset, entry, keys, adapter);
}

DecodeOutcome DecodeEntry(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                          const DecodeSink& sink) {
  Decoder decoder;
  return decoder.Decode(source, dataOffset, entry, keys, sink);
}

}  // namespace zbe
