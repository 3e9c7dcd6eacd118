// Published properties: a member that reads through a getter and writes through a setter of
// its object, so that "Label1->Caption = x" repaints as in the class library.
#pragma once
#include <type_traits>
#include <utility>

namespace vclprop {
template <class>
struct Getter;
template <class C, class R>
struct Getter<R (C::*)() const> {
  using Class = C;
  using Value = std::remove_cvref_t<R>;
};
template <class C, class R>
struct Getter<R (C::*)()> {
  using Class = C;
  using Value = std::remove_cvref_t<R>;
};
}  // namespace vclprop

template <auto Get, auto Put>
class Property {
  using Traits = vclprop::Getter<decltype(Get)>;
  using C = typename Traits::Class;

 public:
  using T = typename Traits::Value;
  explicit Property(C* owner) : o_(owner) {}
  Property(const Property&) = delete;

  T get() const { return (o_->*Get)(); }
  operator T() const { return get(); }
  Property& operator=(const T& v) {
    (o_->*Put)(v);
    return *this;
  }
  Property& operator=(const Property& p) { return *this = p.get(); }
  template <class U>
    requires(!std::is_same_v<std::remove_cvref_t<U>, T> && std::is_convertible_v<U, T> &&
             !std::is_same_v<std::remove_cvref_t<U>, Property>)
  Property& operator=(U&& v) {
    return *this = T(std::forward<U>(v));
  }
  // Object properties (Font, Canvas, Glyph ...) are used through the pointer.
  T operator->() const
    requires std::is_pointer_v<T>
  {
    return get();
  }

  template <class U>
  Property& operator+=(const U& v) {
    return *this = T(get() + v);
  }
  template <class U>
  Property& operator-=(const U& v) {
    return *this = T(get() - v);
  }
  Property& operator++() { return *this = T(get() + 1); }
  T operator++(int) {
    T old = get();
    *this = T(old + 1);
    return old;
  }
  Property& operator--() { return *this = T(get() - 1); }

  friend bool operator==(const Property& a, const T& b) { return a.get() == b; }
  friend bool operator!=(const Property& a, const T& b) { return !(a.get() == b); }
  template <class U>
  friend auto operator+(const Property& a, const U& b) -> decltype(std::declval<T>() + b) {
    return a.get() + b;
  }
  template <class U>
    requires(!std::is_same_v<U, Property>)
  friend auto operator+(const U& a, const Property& b) -> decltype(a + std::declval<T>()) {
    return a + b.get();
  }
  template <class U>
  friend auto operator-(const Property& a, const U& b) -> decltype(std::declval<T>() - b) {
    return a.get() - b;
  }
  template <class U>
  friend auto operator*(const Property& a, const U& b) -> decltype(std::declval<T>() * b) {
    return a.get() * b;
  }
  template <class U>
  friend auto operator/(const Property& a, const U& b) -> decltype(std::declval<T>() / b) {
    return a.get() / b;
  }

 private:
  C* o_;
};

// A read-only property.
template <auto Get>
class ReadOnlyProperty {
  using Traits = vclprop::Getter<decltype(Get)>;
  using C = typename Traits::Class;

 public:
  using T = typename Traits::Value;
  explicit ReadOnlyProperty(C* owner) : o_(owner) {}
  ReadOnlyProperty(const ReadOnlyProperty&) = delete;
  T get() const { return (o_->*Get)(); }
  operator T() const { return get(); }
  T operator->() const
    requires std::is_pointer_v<T>
  {
    return get();
  }
  friend bool operator==(const ReadOnlyProperty& a, const T& b) { return a.get() == b; }
  friend bool operator!=(const ReadOnlyProperty& a, const T& b) { return !(a.get() == b); }

 private:
  C* o_;
};

// Declares "Property<...> Name{this}" for a getter GetName and a setter SetName of class Cls.
#define VCL_PROPERTY(Cls, Name) Property<&Cls::Get##Name, &Cls::Set##Name> Name{this}
#define VCL_READONLY(Cls, Name) ReadOnlyProperty<&Cls::Get##Name> Name{this}
