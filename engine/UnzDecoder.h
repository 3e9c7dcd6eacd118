// Turns an entry's stored bytes into its content: traditional decryption, stored or deflated
// data, size and CRC-32 checks. Output goes to a sink in pieces, so memory stays bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Receives the next piece of content; false stops the decode (DecodeResult::Stopped).
using DecodeSink = std::function<bool(const unsigned char* data, size_t size)>;

// Decodes the entry whose data starts at dataOffset (after the encryption header when keys
// is given). Never produces more than the entry's declared size.
DecodeOutcome DecodeEntry(ByteSource& source, uint64_t dataOffset, const ZEntry& entry, ZCryptKeys* keys,
                          const DecodeSink& sink);

}  // namespace zbe
