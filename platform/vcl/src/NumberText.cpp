#include "NumberText.h"

#include <cstdint>

namespace vclimpl {
namespace {

bool Parse(const std::string& text, int bits, long long& out) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  // Anything after the digits, blanks included, makes the text no number.
  const size_t end = n;
  if (i >= end) return false;
  bool neg = false;
  if (text[i] == '+' || text[i] == '-') {
    neg = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < end && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < end && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= end) return false;
  const uint64_t hexMax = bits == 32 ? 0xFFFFFFFFull : ~0ull;
  const uint64_t posMax = bits == 32 ? 0x7FFFFFFFull : 0x7FFFFFFFFFFFFFFFull;
  uint64_t v = 0;
  for (; i < end; ++i) {
    unsigned char c = text[i];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    uint64_t limit = base == 16 ? hexMax : posMax + 1;
    if (v > (limit - d) / base) return false;
    v = v * base + d;
  }
  if (base == 10) {
    if (!neg && v > posMax) return false;
    out = neg ? (long long)(0 - v) : (long long)v;
  } else {
    // Hexadecimal text may fill all bits.
    uint64_t s = bits == 32 ? uint64_t(int64_t(int32_t(uint32_t(v)))) : v;
    out = (long long)(neg ? 0 - s : s);
  }
  return true;
}

}  // namespace

bool ParseInt32(const std::string& text, int& out) {
  long long v;
  if (!Parse(text, 32, v)) return false;
  out = int(v);
  return true;
}

bool ParseInt64(const std::string& text, long long& out) { return Parse(text, 64, out); }

}  // namespace vclimpl
