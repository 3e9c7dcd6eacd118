#include "AnsiString.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "NumberText.h"
#include "SysUtils.h"

namespace {

bool IsBlank(unsigned char c) { return c <= ' '; }

}  // namespace

AnsiString::AnsiString(int v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(unsigned int v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(long v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(unsigned long v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(long long v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(unsigned long long v) : data_(std::to_string(v)) {}
AnsiString::AnsiString(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  data_ = buf;
}

int AnsiString::Pos(const AnsiString& sub) const {
  if (sub.data_.empty()) return 0;
  size_t p = data_.find(sub.data_);
  return p == std::string::npos ? 0 : int(p) + 1;
}

int AnsiString::AnsiPos(const AnsiString& sub) const {
  if (sub.data_.empty()) return 0;
  size_t n = data_.size(), m = sub.data_.size();
  for (size_t i = 0; i + m <= n;) {
    if (data_.compare(i, m, sub.data_) == 0) return int(i) + 1;
    i += (IsCp949LeadByte(data_[i]) && i + 1 < n) ? 2 : 1;
  }
  return 0;
}

bool AnsiString::IsLeadByte(int index) const {
  if (index < 1 || index > Length()) return false;
  // A byte is a lead byte when it starts a character: walk from the start.
  int i = 1;
  while (i < index) i += IsCp949LeadByte(data_[i - 1]) ? 2 : 1;
  return i == index && IsCp949LeadByte(data_[index - 1]) && index < Length();
}

bool AnsiString::IsTrailByte(int index) const {
  if (index < 2 || index > Length()) return false;
  int i = 1;
  while (i < index) {
    int step = IsCp949LeadByte(data_[i - 1]) ? 2 : 1;
    if (i + step > index) return step == 2;
    i += step;
  }
  return false;
}

int AnsiString::LastDelimiter(const AnsiString& delimiters) const {
  int last = 0;
  for (int i = 1; i <= Length();) {
    if (IsCp949LeadByte(data_[i - 1]) && i < Length()) {
      i += 2;
      continue;
    }
    if (std::memchr(delimiters.data_.data(), data_[i - 1], delimiters.data_.size())) last = i;
    ++i;
  }
  return last;
}

bool AnsiString::IsDelimiter(const AnsiString& delimiters, int index) const {
  if (index < 1 || index > Length() || IsTrailByte(index)) return false;
  return std::memchr(delimiters.data_.data(), data_[index - 1], delimiters.data_.size()) != nullptr;
}

bool AnsiString::IsPathDelimiter(int index) const { return IsDelimiter("\\", index); }

AnsiString AnsiString::SubString(int index, int count) const {
  if (index < 1) index = 1;
  if (count <= 0 || index > Length()) return AnsiString();
  return AnsiString(data_.substr(size_t(index - 1), size_t(count)));
}

AnsiString& AnsiString::Delete(int index, int count) {
  if (index >= 1 && index <= Length() && count > 0) data_.erase(size_t(index - 1), size_t(count));
  return *this;
}

AnsiString& AnsiString::Insert(const AnsiString& str, int index) {
  if (index < 1) index = 1;
  if (index > Length() + 1) index = Length() + 1;
  data_.insert(size_t(index - 1), str.data_);
  return *this;
}

AnsiString AnsiString::UpperCase() const {
  std::string s = data_;
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return AnsiString(std::move(s));
}

AnsiString AnsiString::LowerCase() const {
  std::string s = data_;
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return AnsiString(std::move(s));
}

AnsiString AnsiString::AnsiUpperCase() const {
  std::string s = data_;
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsCp949LeadByte(s[i]) && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (s[i] >= 'a' && s[i] <= 'z') s[i] = char(s[i] - 'a' + 'A');
  }
  return AnsiString(std::move(s));
}

AnsiString AnsiString::AnsiLowerCase() const {
  std::string s = data_;
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsCp949LeadByte(s[i]) && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (s[i] >= 'A' && s[i] <= 'Z') s[i] = char(s[i] - 'A' + 'a');
  }
  return AnsiString(std::move(s));
}

AnsiString AnsiString::Trim() const { return TrimLeft().TrimRight(); }

AnsiString AnsiString::TrimLeft() const {
  size_t i = 0;
  while (i < data_.size() && IsBlank(data_[i])) ++i;
  return AnsiString(data_.substr(i));
}

AnsiString AnsiString::TrimRight() const {
  size_t n = data_.size();
  while (n > 0 && IsBlank(data_[n - 1])) --n;
  return AnsiString(data_.substr(0, n));
}

AnsiString AnsiString::StringOfChar(char ch, int count) {
  return AnsiString(std::string(count > 0 ? size_t(count) : 0, ch));
}

int AnsiString::ToInt() const {
  int v;
  if (!vclimpl::ParseInt32(data_, v)) throw EConvertError("'" + *this + "' is not a valid integer value");
  return v;
}

int AnsiString::ToIntDef(int defaultValue) const {
  int v;
  return vclimpl::ParseInt32(data_, v) ? v : defaultValue;
}

double AnsiString::ToDouble() const {
  const char* s = data_.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  while (end && *end == ' ') ++end;
  if (data_.empty() || end == s || *end || errno == ERANGE)
    throw EConvertError("'" + *this + "' is not a valid floating point value");
  return v;
}

int AnsiString::AnsiCompare(const AnsiString& rhs) const {
  int c = data_.compare(rhs.data_);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int AnsiString::AnsiCompareIC(const AnsiString& rhs) const {
  return AnsiUpperCase().AnsiCompare(rhs.AnsiUpperCase());
}

int AnsiString::vprintf(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) {
    data_.clear();
    return 0;
  }
  std::string out(size_t(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(size_t(n));
  data_ = std::move(out);
  return n;
}

int AnsiString::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vprintf(format, args);
  va_end(args);
  return n;
}

int AnsiString::sprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vprintf(format, args);
  va_end(args);
  return n;
}

AnsiString& AnsiString::cat_vprintf(const char* format, va_list args) {
  AnsiString tail;
  tail.vprintf(format, args);
  data_ += tail.data_;
  return *this;
}

AnsiString& AnsiString::cat_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  cat_vprintf(format, args);
  va_end(args);
  return *this;
}
