// TStrings and TStringList: lines, delimited text, name=value pairs, sorting.
#include <algorithm>
#include <numeric>

#include "Classes.h"

namespace {

// Steps over one character: two bytes for a code page 949 lead byte with a byte after it.
size_t CharNext(const std::string& s, size_t i) {
  return i + (IsCp949LeadByte(s[i]) && i + 1 < s.size() ? 2 : 1);
}

bool IsBlankOrControl(char c) { return c != 0 && static_cast<unsigned char>(c) <= ' '; }

}  // namespace

// ---------------------------------------------------------------- TStrings

void TStrings::Put(int index, const AnsiString& s) {
  TObject* obj = GetObject(index);
  BeginUpdate();
  Delete(index);
  InsertObject(index, s, obj);
  EndUpdate();
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const AnsiString& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const AnsiString& s, TObject* obj) {
  int index = Add(s);
  PutObject(index, obj);
  return index;
}

void TStrings::InsertObject(int index, const AnsiString& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const { return AnsiCompareText(a, b); }

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i) {
    AnsiString s = Get(i);
    int p = s.AnsiPos("=");
    if (p != 0 && CompareStrings(s.SubString(1, p - 1), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  BeginUpdate();
  AnsiString s = Get(curIndex);
  TObject* obj = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, obj);
  EndUpdate();
}

void TStrings::Exchange(int index1, int index2) {
  BeginUpdate();
  AnsiString s = Get(index1);
  TObject* obj = GetObject(index1);
  Put(index1, Get(index2));
  PutObject(index1, GetObject(index2));
  Put(index2, s);
  PutObject(index2, obj);
  EndUpdate();
}

void TStrings::AddStrings(TStrings* strings) {
  if (!strings) return;
  BeginUpdate();
  for (int i = 0; i < strings->Count(); ++i) AddObject(strings->Get(i), strings->GetObject(i));
  EndUpdate();
}

void TStrings::Assign(TPersistent* source) {
  if (auto* strings = dynamic_cast<TStrings*>(source)) {
    if (strings == this) return;
    BeginUpdate();
    Clear();
    Delimiter = strings->Delimiter;
    QuoteChar = strings->QuoteChar;
    AddStrings(strings);
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::BeginUpdate() { ++FUpdateCount; }

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

bool TStrings::Equals(TStrings* strings) const {
  if (!strings || strings->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != strings->Get(i)) return false;
  return true;
}

AnsiString TStrings::Names(int index) const {
  AnsiString s = Get(index);
  int p = s.AnsiPos("=");
  return p ? s.SubString(1, p - 1) : AnsiString();
}

AnsiString TStrings::Values(const AnsiString& name) const {
  int i = IndexOfName(name);
  return i >= 0 ? ValueFromIndex(i) : AnsiString();
}

AnsiString TStrings::ValueFromIndex(int index) const {
  AnsiString s = Get(index);
  int p = s.AnsiPos("=");
  return p ? s.SubString(p + 1, s.Length() - p) : AnsiString();
}

void TStrings::SetValues(const AnsiString& name, const AnsiString& value) {
  int i = IndexOfName(name);
  if (!value.IsEmpty()) {
    if (i < 0)
      Add(name + "=" + value);
    else
      Put(i, name + "=" + value);
  } else if (i >= 0) {
    Delete(i);
  }
}

AnsiString TStrings::GetText() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i).str();
    out += "\r\n";
  }
  return AnsiString(std::move(out));
}

void TStrings::SetText(const AnsiString& text) {
  BeginUpdate();
  Clear();
  const std::string& t = text.str();
  size_t i = 0, n = t.size();
  while (i < n && t[i] != 0) {
    size_t start = i;
    while (i < n && t[i] != 0 && t[i] != '\r' && t[i] != '\n') ++i;
    Add(AnsiString(t.substr(start, i - start)));
    if (i < n && t[i] == '\r') ++i;
    if (i < n && t[i] == '\n') ++i;
  }
  EndUpdate();
}

AnsiString TStrings::GetDelimitedText() const {
  if (Count() == 1 && Get(0).IsEmpty()) return AnsiString(std::string(2, QuoteChar));
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    const AnsiString s = Get(i);
    const std::string& t = s.str();
    bool quote = false;
    for (size_t k = 0; k < t.size() && !quote; k = CharNext(t, k))
      quote = static_cast<unsigned char>(t[k]) <= ' ' || t[k] == QuoteChar || t[k] == Delimiter;
    if (i > 0) out += Delimiter;
    out += quote ? AnsiQuotedStr(s, QuoteChar).str() : t;
  }
  return AnsiString(std::move(out));
}

void TStrings::SetDelimitedText(const AnsiString& text) {
  BeginUpdate();
  Clear();
  // The text ends at its first zero byte, as the library reads it.
  std::string t = text.str().substr(0, std::min(text.str().size(), text.str().find('\0')));
  size_t i = 0, n = t.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlankOrControl(t[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (t[i] == QuoteChar) {
      // A quoted item: doubled quotes stand for one. Without its closing quote the item
      // runs to the end of the text.
      ++i;
      while (i < n) {
        if (t[i] == QuoteChar) {
          if (i + 1 < n && t[i + 1] == QuoteChar) {
            item += QuoteChar;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        size_t next = CharNext(t, i);
        item.append(t, i, next - i);
        i = next;
      }
    } else {
      size_t start = i;
      while (i < n && static_cast<unsigned char>(t[i]) > ' ' && t[i] != Delimiter) i = CharNext(t, i);
      item.assign(t, start, std::min(i, n) - start);
    }
    Add(AnsiString(std::move(item)));
    skipBlanks();
    if (i < n && t[i] == Delimiter) {
      // A delimiter at the very end stands for one more, empty item.
      if (i + 1 == n) Add(AnsiString());
      ++i;
      skipBlanks();
    }
  }
  EndUpdate();
}

AnsiString TStrings::GetCommaText() const {
  struct Restore {
    TStrings* s;
    char d, q;
    ~Restore() {
      s->Delimiter = d;
      s->QuoteChar = q;
    }
  };
  auto* self = const_cast<TStrings*>(this);
  Restore restore{self, Delimiter, QuoteChar};
  self->Delimiter = ',';
  self->QuoteChar = '"';
  return GetDelimitedText();
}

void TStrings::SetCommaText(const AnsiString& text) {
  char d = Delimiter, q = QuoteChar;
  Delimiter = ',';
  QuoteChar = '"';
  try {
    SetDelimitedText(text);
  } catch (...) {
    Delimiter = d;
    QuoteChar = q;
    throw;
  }
  Delimiter = d;
  QuoteChar = q;
}

// ---------------------------------------------------------------- TStringList

TStringList::~TStringList() {
  OnChange = nullptr;
  Clear();
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
}

void TStringList::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

AnsiString TStringList::Get(int index) const {
  CheckIndex(index);
  return FItems[size_t(index)].s;
}

void TStringList::Put(int index, const AnsiString& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index);
  FItems[size_t(index)].s = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return FItems[size_t(index)].obj;
}

void TStringList::PutObject(int index, TObject* obj) {
  CheckIndex(index);
  TObject*& slot = FItems[size_t(index)].obj;
  if (OwnsObjects && slot != obj) delete slot;
  slot = obj;
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  std::vector<Item> items;
  items.swap(FItems);
  if (OwnsObjects)
    for (Item& item : items) delete item.obj;
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  TObject* obj = FItems[size_t(index)].obj;
  FItems.erase(FItems.begin() + index);
  if (OwnsObjects) delete obj;
  Changed();
}

void TStringList::InsertItem(int index, const AnsiString& s, TObject* obj) {
  FItems.insert(FItems.begin() + index, Item{s, obj});
  Changed();
}

void TStringList::Insert(int index, const AnsiString& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  InsertItem(index, s, nullptr);
}

int TStringList::Add(const AnsiString& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const AnsiString& s, TObject* obj) {
  int index = Count();
  if (FSorted && Find(s, index)) {
    if (Duplicates == dupIgnore) {
      // The list owns what it is given: an object it does not keep is freed.
      if (OwnsObjects) delete obj;
      return index;
    }
    if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, s, obj);
  return index;
}

void TStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  Item item = FItems[size_t(curIndex)];
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, item);
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(FItems[size_t(index1)], FItems[size_t(index2)]);
  Changed();
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return FCaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

bool TStringList::Find(const AnsiString& s, int& index) const {
  bool found = false;
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(FItems[size_t(mid)].s, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int TStringList::IndexOf(const AnsiString& s) const {
  if (!FSorted) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

void TStringList::CustomSort(std::function<int(TStringList* list, int index1, int index2)> compare) {
  if (Count() < 2) return;
  // The comparison sees the items where they stand now; they move once it is done.
  std::vector<int> order(FItems.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(FItems.size());
  for (int i : order) sorted.push_back(FItems[size_t(i)]);
  FItems.swap(sorted);
  Changed();
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->FItems[size_t(a)].s, list->FItems[size_t(b)].s);
  });
}

void TStringList::SetSorted(bool value) {
  if (FSorted == value) return;
  if (value) Sort();
  FSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (FCaseSensitive == value) return;
  FCaseSensitive = value;
  if (FSorted) Sort();
}
