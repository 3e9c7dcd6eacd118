// Reading of form layouts in the class library's text form format.
#include <cctype>
#include <memory>
#include <vector>

#include "Controls.h"
#include "FormLayout.h"
#include "windows.h"
#include "winplat.h"

namespace ui {
void RegisterBuiltinClasses();
}

// ---------------------------------------------------------------- values

TLayoutValue::Item::~Item() = default;

int TLayoutValue::AsInteger() const {
  if (kind == vInteger) return int(integer);
  throw EConvertError("Invalid property value");
}
double TLayoutValue::AsFloat() const {
  if (kind == vFloat) return number;
  if (kind == vInteger) return double(integer);
  throw EConvertError("Invalid property value");
}
bool TLayoutValue::AsBoolean() const {
  if (kind == vIdent && SameText(text, "True")) return true;
  if (kind == vIdent && SameText(text, "False")) return false;
  throw EConvertError("Invalid property value");
}
AnsiString TLayoutValue::AsString() const {
  if (kind == vString) return text;
  throw EConvertError("Invalid property value");
}
AnsiString TLayoutValue::AsIdent() const {
  if (kind == vIdent) return text;
  throw EConvertError("Invalid property value");
}
bool TLayoutValue::Has(const char* member) const {
  for (const AnsiString& m : idents)
    if (SameText(m, member)) return true;
  return false;
}

int LayoutEnum(const TLayoutValue& v, std::initializer_list<const char*> names) {
  if (v.kind == TLayoutValue::vInteger) return int(v.integer);
  int i = 0;
  for (const char* n : names) {
    if (SameText(v.AsIdent(), n)) return i;
    ++i;
  }
  throw EConvertError(Format("Invalid property value %s", v.text.c_str()));
}

// ---------------------------------------------------------------- the parser

namespace {

struct Node {
  AnsiString name, className;
  std::vector<std::pair<AnsiString, TLayoutValue>> props;
  std::vector<std::unique_ptr<Node>> children;
  int line = 0;
};

class Parser {
 public:
  Parser(const std::string& text, const AnsiString& form) : s_(text), form_(form) {}

  std::unique_ptr<Node> Object() {
    Skip();
    AnsiString kw = Ident();
    if (!SameText(kw, "object") && !SameText(kw, "inherited") && !SameText(kw, "inline"))
      Fail("\"object\" expected");
    auto node = std::make_unique<Node>();
    node->line = line_;
    AnsiString first = Ident();
    Skip();
    if (Peek() == ':') {
      ++p_;
      node->name = first;
      node->className = Ident();
    } else {
      node->className = first;
    }
    Skip();
    if (Peek() == '[') {  // the position of an inherited component
      while (p_ < s_.size() && s_[p_] != ']') ++p_;
      ++p_;
    }
    for (;;) {
      Skip();
      if (p_ >= s_.size()) Fail("\"end\" expected");
      size_t save = p_;
      int saveLine = line_;
      AnsiString word = Ident();
      if (SameText(word, "end")) break;
      if (SameText(word, "object") || SameText(word, "inherited") || SameText(word, "inline")) {
        p_ = save;
        line_ = saveLine;
        node->children.push_back(Object());
        continue;
      }
      Skip();
      if (Peek() != '=') Fail("\"=\" expected after " + word.str());
      ++p_;
      node->props.emplace_back(word, Value());
    }
    return node;
  }

  void ExpectEnd() {
    Skip();
    if (p_ < s_.size()) Fail("text after the last \"end\"");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw ELayoutError(form_, "", "", Format("%s layout, line %d: %s", form_.c_str(), line_, what.c_str()));
  }
  char Peek() const { return p_ < s_.size() ? s_[p_] : '\0'; }
  void Skip() {
    while (p_ < s_.size()) {
      char c = s_[p_];
      if (c == '\n') ++line_;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') ++p_;
      else if (c == '/' && p_ + 1 < s_.size() && s_[p_ + 1] == '/') {
        while (p_ < s_.size() && s_[p_] != '\n') ++p_;
      } else break;
    }
  }
  static bool IdentStart(char c) { return std::isalpha((unsigned char)c) || c == '_'; }
  AnsiString Ident() {
    Skip();
    size_t b = p_;
    if (!IdentStart(Peek())) Fail("name expected");
    while (p_ < s_.size() && (std::isalnum((unsigned char)s_[p_]) || s_[p_] == '_' || s_[p_] == '.')) ++p_;
    return AnsiString(s_.substr(b, p_ - b));
  }
  // 'text'#13#10'more' pieces, and pieces joined by "+" across lines.
  AnsiString String() {
    std::string out;
    for (;;) {
      Skip();
      char c = Peek();
      if (c == '\'') {
        ++p_;
        for (;;) {
          if (p_ >= s_.size() || s_[p_] == '\n') Fail("unterminated string");
          if (s_[p_] == '\'') {
            if (p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
              out += '\'';
              p_ += 2;
              continue;
            }
            ++p_;
            break;
          }
          out += s_[p_++];
        }
      } else if (c == '#') {
        ++p_;
        size_t b = p_;
        while (p_ < s_.size() && std::isdigit((unsigned char)s_[p_])) ++p_;
        if (b == p_) Fail("character code expected");
        long code = std::stol(s_.substr(b, p_ - b));
        // Codes above 255 are Unicode characters (the form writer's way of storing Hangul).
        if (code < 256) out += char(code);
        else out += winplat::WideToCp949(std::wstring(1, wchar_t(code)));
      } else {
        break;
      }
      // Pieces follow each other directly ('a'#13'b'); across lines they are joined by "+".
      if (Peek() == '\'' || Peek() == '#') continue;
      size_t save = p_;
      int saveLine = line_;
      Skip();
      if (Peek() == '+') {
        ++p_;
        continue;
      }
      p_ = save;
      line_ = saveLine;
      break;
    }
    return AnsiString(out);
  }
  TLayoutValue Value() {
    Skip();
    TLayoutValue v;
    char c = Peek();
    if (c == '\'' || c == '#') {
      v.kind = TLayoutValue::vString;
      v.text = String();
    } else if (c == '-' || c == '+' || std::isdigit((unsigned char)c) || c == '$') {
      size_t b = p_;
      if (c == '-' || c == '+') ++p_;
      if (Peek() == '$') {
        ++p_;
        size_t h = p_;
        while (p_ < s_.size() && std::isxdigit((unsigned char)s_[p_])) ++p_;
        v.integer = (long long)std::stoull(s_.substr(h, p_ - h), nullptr, 16);
        if (c == '-') v.integer = -v.integer;
        v.kind = TLayoutValue::vInteger;
        return v;
      }
      bool real = false;
      while (p_ < s_.size() && (std::isdigit((unsigned char)s_[p_]) || s_[p_] == '.' || s_[p_] == 'e' ||
                                s_[p_] == 'E' || ((s_[p_] == '-' || s_[p_] == '+') && (s_[p_ - 1] == 'e' || s_[p_ - 1] == 'E')))) {
        if (s_[p_] == '.' || s_[p_] == 'e' || s_[p_] == 'E') real = true;
        ++p_;
      }
      std::string t = s_.substr(b, p_ - b);
      try {
        if (real) {
          v.kind = TLayoutValue::vFloat;
          v.number = std::stod(t);
        } else {
          v.kind = TLayoutValue::vInteger;
          v.integer = std::stoll(t);
        }
      } catch (...) {
        Fail("bad number " + t);
      }
    } else if (c == '[') {
      ++p_;
      v.kind = TLayoutValue::vSet;
      for (;;) {
        Skip();
        if (Peek() == ']') {
          ++p_;
          break;
        }
        v.idents.push_back(Ident());
        Skip();
        if (Peek() == ',') ++p_;
        else if (Peek() != ']') Fail("\"]\" expected");
      }
    } else if (c == '(') {
      ++p_;
      v.kind = TLayoutValue::vList;
      for (;;) {
        Skip();
        if (Peek() == ')') {
          ++p_;
          break;
        }
        if (p_ >= s_.size()) Fail("\")\" expected");
        v.list.push_back(Value());
      }
    } else if (c == '{') {
      ++p_;
      v.kind = TLayoutValue::vBinary;
      std::string hex;
      while (p_ < s_.size() && s_[p_] != '}') {
        char h = s_[p_++];
        if (h == '\n') ++line_;
        if (std::isxdigit((unsigned char)h)) hex += h;
        else if (!std::isspace((unsigned char)h)) Fail("hexadecimal data expected");
      }
      if (Peek() != '}') Fail("\"}\" expected");
      ++p_;
      if (hex.size() % 2) Fail("odd number of hexadecimal digits");
      for (size_t i = 0; i < hex.size(); i += 2) v.binary += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    } else if (c == '<') {
      ++p_;
      v.kind = TLayoutValue::vCollection;
      for (;;) {
        Skip();
        if (Peek() == '>') {
          ++p_;
          break;
        }
        AnsiString word = Ident();
        if (!SameText(word, "item")) Fail("\"item\" expected");
        TLayoutValue::Item item;
        for (;;) {
          AnsiString prop = Ident();
          if (SameText(prop, "end")) break;
          Skip();
          if (Peek() != '=') Fail("\"=\" expected after " + prop.str());
          ++p_;
          item.props.emplace_back(prop, Value());
        }
        v.items.push_back(std::move(item));
      }
    } else if (IdentStart(c)) {
      v.kind = TLayoutValue::vIdent;
      v.text = Ident();
    } else {
      Fail(std::string("unexpected character '") + c + "'");
    }
    return v;
  }

  const std::string& s_;
  AnsiString form_;
  size_t p_ = 0;
  int line_ = 1;
};

}  // namespace

// ---------------------------------------------------------------- the class registry

namespace {
std::vector<std::unique_ptr<TLayoutClass>>& Classes() {
  static std::vector<std::unique_ptr<TLayoutClass>> c;
  return c;
}
TLayoutClass* Lookup(const AnsiString& name) {
  for (auto& c : Classes())
    if (SameText(c->name, name)) return c.get();
  return nullptr;
}
}  // namespace

TLayoutClass& RegisterLayoutClass(const AnsiString& name, const AnsiString& parentName) {
  // Classes of the system register themselves at start-up, on top of the layer's own.
  ui::RegisterBuiltinClasses();
  if (TLayoutClass* c = Lookup(name)) return *c;
  auto c = std::make_unique<TLayoutClass>();
  c->name = name;
  if (!parentName.IsEmpty()) {
    c->parent = Lookup(parentName);
    if (!c->parent) throw EComponentError(Format("Class %s must be registered before %s", parentName.c_str(), name.c_str()));
  }
  Classes().push_back(std::move(c));
  return *Classes().back();
}

const TLayoutClass* FindLayoutClass(const AnsiString& name) {
  ui::RegisterBuiltinClasses();
  return Lookup(name);
}

const TPropertyWriter* TLayoutClass::FindProperty(const AnsiString& prop) const {
  for (const TLayoutClass* c = this; c; c = c->parent)
    for (auto& [n, w] : c->properties)
      if (SameText(n, prop)) return &w;
  return nullptr;
}

bool TLayoutClass::SetEvent(TComponent* comp, const AnsiString& event, const std::any& handler, bool& known) const {
  known = false;
  for (const TLayoutClass* c = this; c; c = c->parent)
    for (size_t i = 0; i < c->eventTypes.size(); ++i)
      if (SameText(c->eventTypes[i].first, event)) {
        known = true;
        if (std::type_index(handler.type()) != c->eventTypes[i].second) return false;
        c->eventSetters[i].second(comp, handler);
        return true;
      }
  return false;
}

// ---------------------------------------------------------------- reading

struct TLayoutContext {
  TComponent* root;
  AnsiString form;
  std::initializer_list<TLayoutBinding> bindings;
  std::vector<TComponent*> created;
  std::vector<std::function<void()>> deferred;
  AnsiString current;  // the component whose properties are read
};

TComponent* FindLayoutComponent(TLayoutContext& ctx, const AnsiString& name) {
  if (SameText(name, ctx.root->Name)) return ctx.root;
  for (TComponent* c : ctx.created)
    if (SameText(c->Name, name)) return c;
  return nullptr;
}

AnsiString LayoutFormName(TLayoutContext& ctx) { return ctx.form; }

void DeferLayout(TLayoutContext& ctx, std::function<void()> f) { ctx.deferred.push_back(std::move(f)); }

namespace {

[[noreturn]] void Fail(TLayoutContext& ctx, const AnsiString& component, const AnsiString& name, const AnsiString& what) {
  throw ELayoutError(ctx.form, component, name, Format("%s.%s: %s", ctx.form.c_str(), component.c_str(), what.c_str()));
}

const TLayoutClass* ClassOfRoot(const TComponent* root) {
  ui::RegisterBuiltinClasses();
  const TLayoutClass* best = nullptr;
  int bestDepth = -1;
  for (auto& c : Classes()) {
    if (!c->isInstance || !c->isInstance(root)) continue;
    int depth = 0;
    for (const TLayoutClass* p = c.get(); p; p = p->parent) ++depth;
    if (depth > bestDepth) {
      best = c.get();
      bestDepth = depth;
    }
  }
  return best;
}

void ApplyProps(TLayoutContext& ctx, TComponent* comp, const TLayoutClass* cls,
                const std::vector<std::pair<AnsiString, TLayoutValue>>& props, const AnsiString& compName) {
  for (auto& [name, value] : props) {
    if (name.Length() > 2 && SameText(name.SubString(1, 2), "On") && value.kind == TLayoutValue::vIdent &&
        name.Pos(".") == 0) {
      const TLayoutBinding* handler = nullptr;
      for (const TLayoutBinding& b : ctx.bindings)
        if (!b.bindField && SameText(b.name, value.text)) handler = &b;
      bool known = false;
      if (!handler) {
        // Tell an unknown event from an unknown handler.
        cls->SetEvent(comp, name, std::any(), known);
        if (!known) Fail(ctx, compName, name, "property " + name + " does not exist");
        Fail(ctx, compName, value.text, "handler " + value.text + " for " + name + " does not exist");
      }
      if (!cls->SetEvent(comp, name, handler->handler, known)) {
        if (!known) Fail(ctx, compName, name, "property " + name + " does not exist");
        Fail(ctx, compName, value.text, "handler " + value.text + " does not fit " + name);
      }
      continue;
    }
    const TPropertyWriter* w = cls->FindProperty(name);
    if (!w) Fail(ctx, compName, name, "property " + name + " does not exist");
    try {
      ctx.current = compName;
      (*w)(comp, value, ctx);
    } catch (ELayoutError&) {
      throw;
    } catch (Exception& e) {
      Fail(ctx, compName, name, "property " + name + ": " + e.Message);
    }
  }
}

void BindField(TLayoutContext& ctx, TComponent* comp, const AnsiString& name) {
  for (const TLayoutBinding& b : ctx.bindings)
    if (b.bindField && SameText(b.name, name) && !b.bindField(comp))
      Fail(ctx, name, ClassNameOf(comp), "field " + name + " has another class than " + ClassNameOf(comp));
}

void CreateChildren(TLayoutContext& ctx, const Node& node, TComponent* parent) {
  for (auto& child : node.children) {
    const TLayoutClass* cls = FindLayoutClass(child->className);
    if (!cls || !cls->create) Fail(ctx, child->name, child->className, "class " + child->className + " not found");
    TComponent* comp = cls->create(ctx.root);
    comp->ComponentState |= csLoading | csReading;
    comp->Name = child->name;
    ctx.created.push_back(comp);
    if (auto* control = dynamic_cast<TControl*>(comp))
      if (auto* win = dynamic_cast<TWinControl*>(parent)) control->SetParent(win);
    BindField(ctx, comp, child->name);
    ApplyProps(ctx, comp, cls, child->props, child->name);
    CreateChildren(ctx, *child, comp);
  }
}

}  // namespace

void ReadComponentLayoutText(TComponent* root, const AnsiString& text, std::initializer_list<TLayoutBinding> bindings) {
  TLayoutContext ctx{root, ClassNameOf(root), bindings, {}, {}, {}};
  Parser parser(text.str(), ctx.form);
  std::unique_ptr<Node> node = parser.Object();
  parser.ExpectEnd();
  const TLayoutClass* rootClass = ClassOfRoot(root);
  if (!rootClass) Fail(ctx, node->name, ctx.form, "class " + ctx.form + " cannot hold a layout");
  root->ComponentState |= csLoading | csReading;
  try {
    if (!node->name.IsEmpty()) root->Name = node->name;
    ApplyProps(ctx, root, rootClass, node->props, node->name);
    CreateChildren(ctx, *node, root);
    for (auto& f : ctx.deferred) f();
  } catch (...) {
    root->ComponentState &= ~unsigned(csLoading | csReading);
    for (TComponent* c : ctx.created) c->ComponentState &= ~unsigned(csLoading | csReading);
    throw;
  }
  for (TComponent* c : ctx.created) {
    c->ComponentState &= ~unsigned(csReading);
    c->Loaded();
  }
  root->ComponentState &= ~unsigned(csReading);
  root->Loaded();
}

void ReadComponentLayout(TComponent* root, std::initializer_list<TLayoutBinding> bindings) {
  AnsiString form = ClassNameOf(root);
  AnsiString name = UpperCase(form);
  HRSRC r = FindResourceA(nullptr, name.c_str(), RT_RCDATA);
  if (!r) throw ELayoutError(form, "", name, Format("%s: layout resource %s not found", form.c_str(), name.c_str()));
  HGLOBAL g = LoadResource(nullptr, r);
  const char* data = static_cast<const char*>(LockResource(g));
  DWORD size = SizeofResource(nullptr, r);
  if (!data) throw ELayoutError(form, "", name, Format("%s: layout resource %s not found", form.c_str(), name.c_str()));
  ReadComponentLayoutText(root, AnsiString(data, int(size)), bindings);
}
