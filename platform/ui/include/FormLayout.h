// Form layouts: the class library's text form format ("object edtID: TEdit" ... "end"),
// stored in the program as RCDATA named after the form class in upper case ("TFRMLOGIN").
//
// A form or data module binds its component fields and event-handler methods by name at the
// start of its constructor and then reads its layout:
//
//   TfrmLogin::TfrmLogin(TComponent* Owner) : TForm(Owner) {
//     ReadLayout({VCL_FIELD(edtID), VCL_FIELD(btnLogin), VCL_HANDLER(btnLoginClick)});
//     ...
//   }
//
// Component classes are created by name from the class registry; a class of the system
// registers itself with TRegisterClass (below). An unknown class, property or handler stops
// the reading with ELayoutError naming the form, the component and the name.
#pragma once
#include <any>
#include <functional>
#include <initializer_list>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <type_traits>
#include <vector>

#include "Classes.h"

class ELayoutError : public EReadError {
 public:
  ELayoutError(const AnsiString& form, const AnsiString& component, const AnsiString& name,
               const AnsiString& msg)
      : EReadError(msg), FormName(form), ComponentName(component), Name(name) {}
  AnsiString FormName, ComponentName, Name;
};

// One value of a layout property.
struct TLayoutValue {
  enum Kind { vInteger, vFloat, vString, vIdent, vSet, vList, vBinary, vCollection };
  struct Item;  // one item of a collection, defined below where TLayoutValue is complete
  Kind kind = vInteger;
  long long integer = 0;
  double number = 0;
  AnsiString text;                  // string or identifier (code page 949)
  std::vector<AnsiString> idents;   // set members
  std::vector<TLayoutValue> list;   // ( ... )
  std::string binary;               // { ... }
  std::vector<Item> items;          // < item ... end >

  // Conversions raise EConvertError for a value of another kind.
  int AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  AnsiString AsString() const;
  AnsiString AsIdent() const;
  bool Has(const char* member) const;  // set membership, ignoring case
};

// The destructor is out of line: std::pair<AnsiString, TLayoutValue> asks whether a
// TLayoutValue can be made, which reaches this destructor while the pair is still incomplete.
struct TLayoutValue::Item {
  Item() = default;
  Item(const Item&) = default;
  Item(Item&&) noexcept = default;
  Item& operator=(const Item&) = default;
  Item& operator=(Item&&) noexcept = default;
  ~Item();
  std::vector<std::pair<AnsiString, TLayoutValue>> props;
};

class TLayoutBinding {
 public:
  template <class T>
  static TLayoutBinding Field(const char* name, T*& field) {
    TLayoutBinding b;
    b.name = name;
    b.bindField = [&field](TComponent* c) {
      T* p = dynamic_cast<T*>(c);
      if (!p) return false;
      field = p;
      return true;
    };
    return b;
  }
  template <class C, class... Args>
  static TLayoutBinding Handler(const char* name, C* object, void (C::*method)(Args...)) {
    TLayoutBinding b;
    b.name = name;
    b.handler = std::function<void(Args...)>(
        [object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); });
    return b;
  }
  AnsiString name;
  std::function<bool(TComponent*)> bindField;  // empty for a handler
  std::any handler;                            // std::function<void(...)>
};

#define VCL_FIELD(f) TLayoutBinding::Field(#f, f)
#define VCL_HANDLER(m) TLayoutBinding::Handler(#m, this, &std::remove_pointer_t<decltype(this)>::m)

// Reads the layout resource of root's class (or the layout text given) into root: creates the
// components (owned by root), sets the properties, binds fields and handlers, calls Loaded.
void ReadComponentLayout(TComponent* root, std::initializer_list<TLayoutBinding> bindings);
void ReadComponentLayoutText(TComponent* root, const AnsiString& text,
                             std::initializer_list<TLayoutBinding> bindings);

// ---------------------------------------------------------------- the class registry

struct TLayoutContext;  // private state of one reading
typedef std::function<void(TComponent*, const TLayoutValue&, TLayoutContext&)> TPropertyWriter;

class TLayoutClass {
 public:
  AnsiString name;
  const TLayoutClass* parent = nullptr;
  std::function<TComponent*(TComponent* owner)> create;  // empty: abstract
  std::function<bool(const TComponent*)> isInstance;
  std::vector<std::pair<AnsiString, TPropertyWriter>> properties;
  std::vector<std::pair<AnsiString, std::type_index>> eventTypes;
  std::vector<std::pair<AnsiString, std::function<void(TComponent*, const std::any&)>>> eventSetters;
  const TPropertyWriter* FindProperty(const AnsiString& prop) const;
  // Assigns a handler; false when the handler's type does not fit the event.
  bool SetEvent(TComponent* c, const AnsiString& event, const std::any& handler, bool& known) const;
};

// Registers (or returns) the class; parentName must be registered first (empty: a root).
TLayoutClass& RegisterLayoutClass(const AnsiString& name, const AnsiString& parentName);
const TLayoutClass* FindLayoutClass(const AnsiString& name);
// Finds the layout object a handler resolves to (for the layer's own properties).
TComponent* FindLayoutComponent(TLayoutContext& ctx, const AnsiString& name);
// Names the form and component being read (for ELayoutError).
AnsiString LayoutFormName(TLayoutContext& ctx);
// Runs f when every component of the layout exists (references to other components).
void DeferLayout(TLayoutContext& ctx, std::function<void()> f);

template <class T>
class TRegisterClass {
 public:
  TRegisterClass(const char* name, const char* parentName, bool creatable = true)
      : c_(RegisterLayoutClass(name, parentName)) {
    if constexpr (std::is_constructible_v<T, TComponent*>) {
      if (creatable) c_.create = [](TComponent* owner) -> TComponent* { return new T(owner); };
    }
    c_.isInstance = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  }
  TRegisterClass& Prop(const char* name, std::function<void(T*, const TLayoutValue&)> write) {
    c_.properties.emplace_back(name, [write](TComponent* c, const TLayoutValue& v, TLayoutContext&) {
      write(static_cast<T*>(c), v);
    });
    return *this;
  }
  TRegisterClass& PropCtx(const char* name, std::function<void(T*, const TLayoutValue&, TLayoutContext&)> write) {
    c_.properties.emplace_back(name, [write](TComponent* c, const TLayoutValue& v, TLayoutContext& ctx) {
      write(static_cast<T*>(c), v, ctx);
    });
    return *this;
  }
  // A property that the layer accepts and leaves alone.
  TRegisterClass& Ignore(const char* name) {
    c_.properties.emplace_back(name, [](TComponent*, const TLayoutValue&, TLayoutContext&) {});
    return *this;
  }
  template <class E>
  TRegisterClass& Event(const char* name, E T::*member) {
    c_.eventTypes.emplace_back(name, std::type_index(typeid(E)));
    c_.eventSetters.emplace_back(name, [member](TComponent* c, const std::any& h) {
      static_cast<T*>(c)->*member = std::any_cast<const E&>(h);
    });
    return *this;
  }
  TLayoutClass& Class() { return c_; }

 private:
  TLayoutClass& c_;
};

// A colour value: a number or a colour name (clRed, clBtnFace ...).
int LayoutColor(const TLayoutValue& v);

// Enumeration names of a property, in order ("bsNone", "bsSingle" ...): the value's index.
int LayoutEnum(const TLayoutValue& v, std::initializer_list<const char*> names);
