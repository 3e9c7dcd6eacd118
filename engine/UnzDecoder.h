// Turns an entry's stored bytes into its content: traditional decryption, stored or deflated
// data, size and CRC-32 checks. Output goes to a sink in pieces, so memory stays bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "UnzArchive.h"
#include "UnzSource.h"

namespace zbe {

// Traditional PKWARE encryption keys.
class ZCryptKeys {
 public:
  explicit ZCryptKeys(const std::string& password);
  void Decrypt(unsigned char* data, size_t size);

 private:
  void Update(unsigned char plain);
  uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

constexpr size_t kCryptHeaderSize = 12;

// True when the password opens the entry; keys are then positioned after the 12-byte header.
bool CheckPassword(const unsigned char header[kCryptHeaderSize], const ZEntry& entry,
                   const std::string& password, ZCryptKeys& keys);

bool IsSupportedMethod(uint16_t method);

enum class DecodeResult { Ok, CrcMismatch, Damaged, ReadError, Stopped };

struct DecodeOutcome {
  DecodeResult result = DecodeResult::Ok;
  uint32_t crc = 0;      // CRC-32 of what was produced
  uint64_t produced = 0;  // bytes handed to the sink
  std::string detail;
};

// Content goes out in pieces of at most this many bytes.
constexpr size_t kPieceSize = 256 * 1024;

// Where the content goes. The decoder writes each piece straight into the room the receiver
// gives, so a receiver that keeps pieces for a while (a writer on another thread) needs no copy.
class ContentSink {
 public:
  virtual ~ContentSink() = default;
  // Room for the next piece: kPieceSize bytes.
  virtual unsigned char* Room() = 0;
  // The piece written into the last room given; false stops the decode (DecodeResult::Stopped).
  virtual bool Take(const unsigned char* data, size_t size) = 0;
};

// Receives the next piece of content; false stops the decode (DecodeResult::Stopped).
using DecodeSink = std::function<bool(const unsigned char* data, size_t size)>;

// Decodes entries one after another; its buffers and inflate state serve every entry.
class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  // Decodes the entry whose data starts at dataOffset (after the encryption header when keys
  // is given). Never produces more than the entry's declared size.
  DecodeOutcome Decode(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                       ContentSink& sink);
  // The same into a buffer of the decoder's own, each piece handed to sink.
  DecodeOutcome Decode(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                       const DecodeSink& sink);

 private:
  struct Inflater;
  std::unique_ptr<Inflater> inflater_;
  std::unique_ptr<unsigned char[]> in_;   // compressed data, kPieceSize bytes once needed
  std::unique_ptr<unsigned char[]> out_;  // content for a DecodeSink, kPieceSize bytes once needed
};

// One entry with a decoder of its own.
DecodeOutcome DecodeEntry(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                          const DecodeSink& sink);

}  // namespace zbe
