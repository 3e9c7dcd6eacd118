// The class library's byte string: code page 949 text, 1-based indices.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

class AnsiString {
 public:
  AnsiString() = default;
  AnsiString(const char* s) : data_(s ? s : "") {}
  AnsiString(const char* s, int len) : data_(s ? std::string(s, len > 0 ? size_t(len) : 0) : std::string()) {}
  AnsiString(const std::string& s) : data_(s) {}
  AnsiString(std::string&& s) : data_(std::move(s)) {}
  AnsiString(std::string_view s) : data_(s) {}
  explicit AnsiString(char c) : data_(1, c) {}
  AnsiString(int v);
  AnsiString(unsigned int v);
  AnsiString(long v);
  AnsiString(unsigned long v);
  AnsiString(long long v);
  AnsiString(unsigned long long v);
  AnsiString(double v);
  AnsiString(bool) = delete;

  // Text up to the terminating zero; never null.
  const char* c_str() const { return data_.c_str(); }
  char* c_str() { return data_.data(); }
  const char* data() const { return data_.data(); }
  int Length() const { return int(data_.size()); }
  bool IsEmpty() const { return data_.empty(); }
  void SetLength(int newLength) { data_.resize(newLength > 0 ? size_t(newLength) : 0); }
  AnsiString& Unique() { return *this; }

  // 1-based character access.
  char& operator[](int index) { return data_[size_t(index - 1)]; }
  char operator[](int index) const { return data_[size_t(index - 1)]; }

  // Position (1-based) of the first occurrence, 0 when absent or when sub is empty.
  int Pos(const AnsiString& sub) const;
  int AnsiPos(const AnsiString& sub) const;  // double-byte aware
  int LastDelimiter(const AnsiString& delimiters) const;
  bool IsDelimiter(const AnsiString& delimiters, int index) const;
  bool IsPathDelimiter(int index) const;
  bool IsLeadByte(int index) const;
  bool IsTrailByte(int index) const;
  // count characters from index (1-based); out-of-range parts are cut off.
  AnsiString SubString(int index, int count) const;
  AnsiString& Delete(int index, int count);
  AnsiString& Insert(const AnsiString& str, int index);

  AnsiString UpperCase() const;  // ASCII letters only, as the class library does
  AnsiString LowerCase() const;
  AnsiString AnsiUpperCase() const;  // ASCII letters, double-byte characters untouched
  AnsiString AnsiLowerCase() const;
  AnsiString Trim() const;
  AnsiString TrimLeft() const;
  AnsiString TrimRight() const;
  static AnsiString StringOfChar(char ch, int count);

  int ToInt() const;  // throws EConvertError
  int ToIntDef(int defaultValue) const;
  double ToDouble() const;  // throws EConvertError

  int AnsiCompare(const AnsiString& rhs) const;
  int AnsiCompareIC(const AnsiString& rhs) const;

  // printf-style formatting into this string; returns the new length.
  int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int sprintf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int vprintf(const char* format, va_list args);
  AnsiString& cat_printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  AnsiString& cat_vprintf(const char* format, va_list args);

  AnsiString& operator+=(const AnsiString& rhs) {
    data_ += rhs.data_;
    return *this;
  }
  AnsiString& operator+=(const char* rhs) {
    data_ += rhs ? rhs : "";
    return *this;
  }
  AnsiString& operator+=(char rhs) {
    data_ += rhs;
    return *this;
  }

  friend AnsiString operator+(const AnsiString& a, const AnsiString& b) { return AnsiString(a.data_ + b.data_); }
  friend AnsiString operator+(const AnsiString& a, const char* b) { return AnsiString(a.data_ + (b ? b : "")); }
  friend AnsiString operator+(const char* a, const AnsiString& b) { return AnsiString((a ? a : "") + b.data_); }
  friend AnsiString operator+(const AnsiString& a, char b) { return AnsiString(a.data_ + b); }
  friend AnsiString operator+(char a, const AnsiString& b) { return AnsiString(std::string(1, a) + b.data_); }

  friend bool operator==(const AnsiString& a, const AnsiString& b) { return a.data_ == b.data_; }
  friend bool operator==(const AnsiString& a, const char* b) { return a.data_ == (b ? b : ""); }
  friend bool operator!=(const AnsiString& a, const AnsiString& b) { return a.data_ != b.data_; }
  friend bool operator!=(const AnsiString& a, const char* b) { return a.data_ != (b ? b : ""); }
  friend bool operator<(const AnsiString& a, const AnsiString& b) { return a.data_ < b.data_; }
  friend bool operator>(const AnsiString& a, const AnsiString& b) { return a.data_ > b.data_; }
  friend bool operator<=(const AnsiString& a, const AnsiString& b) { return a.data_ <= b.data_; }
  friend bool operator>=(const AnsiString& a, const AnsiString& b) { return a.data_ >= b.data_; }

  // The bytes as a standard string (for the layer and for tests).
  const std::string& str() const { return data_; }
  std::string& str() { return data_; }

 private:
  std::string data_;
};

typedef AnsiString String;

// The bytes as they are (for test messages and logs).
inline std::ostream& operator<<(std::ostream& os, const AnsiString& s) { return os << s.str(); }

// Code page 949 lead bytes: 0x81..0xFE.
inline bool IsCp949LeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
