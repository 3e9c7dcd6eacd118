// The class library's small set type: members of an enumeration between two bounds, with
// << to add, >> to remove and Contains to test.
#pragma once
#include <bitset>
#include <initializer_list>

template <class T, int MinEl, int MaxEl>
class Set {
 public:
  Set() = default;
  Set(std::initializer_list<T> items) {
    for (T t : items) *this << t;
  }
  Set& operator<<(T el) {
    if (InRange(el)) bits_.set(size_t(int(el) - MinEl));
    return *this;
  }
  Set& operator>>(T el) {
    if (InRange(el)) bits_.reset(size_t(int(el) - MinEl));
    return *this;
  }
  bool Contains(T el) const { return InRange(el) && bits_.test(size_t(int(el) - MinEl)); }
  bool Empty() const { return bits_.none(); }
  Set& Clear() {
    bits_.reset();
    return *this;
  }
  Set operator+(const Set& rhs) const {
    Set s(*this);
    s.bits_ |= rhs.bits_;
    return s;
  }
  Set operator-(const Set& rhs) const {
    Set s(*this);
    s.bits_ &= ~rhs.bits_;
    return s;
  }
  Set operator*(const Set& rhs) const {
    Set s(*this);
    s.bits_ &= rhs.bits_;
    return s;
  }
  Set& operator+=(const Set& rhs) { return *this = *this + rhs; }
  Set& operator-=(const Set& rhs) { return *this = *this - rhs; }
  Set& operator*=(const Set& rhs) { return *this = *this * rhs; }
  bool operator==(const Set& rhs) const { return bits_ == rhs.bits_; }
  bool operator!=(const Set& rhs) const { return bits_ != rhs.bits_; }

 private:
  static bool InRange(T el) { return int(el) >= MinEl && int(el) <= MaxEl; }
  std::bitset<size_t(MaxEl - MinEl + 1)> bits_;
};
