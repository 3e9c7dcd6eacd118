#include "ZipMsg.h"

#include <cstdio>
#include <memory>

#include "ZipMsgUS.h"
#include "windows.h"

namespace {

constexpr int kImageLimit = 50000;

struct TZipMsgState {
  TZipMsgTable DefaultTable;
  bool DefaultExpanded = false;
  TZipMsgTable SelectedTable;
  int SelectedId = 0;
  AnsiString SelectedName;
  TZipMsgHook Hook;
};

TZipMsgState& State() {
  static TZipMsgState state;
  return state;
}

int Read16(const uint8_t* p) { return p[0] | (p[1] << 8); }

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The leading run of letters, digits and "_".
AnsiString NamePart(const AnsiString& s, int from) {
  int end = from;
  while (end <= s.Length() && IsNameChar(s[end])) ++end;
  return s.SubString(from, end - from);
}

void ExpandDefaultTable() {
  TZipMsgState& st = State();
  if (st.DefaultExpanded) return;
  st.DefaultExpanded = true;
  TMemoryStream stream;
  stream.WriteBuffer(ZipMsgUS, ZipMsgUSSize);
  stream.SetPosition(0);
  LoadZipMsgTable(st.DefaultTable, &stream);
}

AnsiString UnitsToText(const uint16_t* units, int count) {
  std::wstring wide;
  wide.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    wide.push_back(wchar_t(u));
  }
  int len = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  if (len <= 0) return AnsiString();
  AnsiString text;
  text.SetLength(len);
  len = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.c_str(), len, nullptr, nullptr);
  text.SetLength(len > 0 ? len : 0);
  return text;
}

// One placeholder: %[flags][width][.precision]conversion.
void FormatOne(AnsiString& out, const std::string& spec, char conv, const TZipFmtArg& arg) {
  char buf[128];
  if (conv == 's') {
    AnsiString text = arg.IsText() ? arg.Text() : AnsiString(arg.Number());
    // Width and precision of %s in bytes, as the class library counts them.
    std::string fmt = "%" + spec + "s";
    int need = std::snprintf(nullptr, 0, fmt.c_str(), text.c_str());
    if (need < 0) return;
    std::string s(size_t(need) + 1, '\0');
    std::snprintf(s.data(), s.size(), fmt.c_str(), text.c_str());
    s.resize(size_t(need));
    out += AnsiString(s);
    return;
  }
  long long n = arg.IsText() ? arg.Text().ToIntDef(0) : arg.Number();
  std::string fmt = "%" + spec + "ll" + conv;
  if (conv == 'd')
    std::snprintf(buf, sizeof buf, fmt.c_str(), n);
  else
    std::snprintf(buf, sizeof buf, fmt.c_str(), (unsigned long long)(uint32_t)n);
  out += buf;
}

}  // namespace

void SetZipMsgHook(TZipMsgHook hook) { State().Hook = std::move(hook); }

AnsiString ZipFormat(const AnsiString& format, const std::vector<TZipFmtArg>& args) {
  AnsiString out;
  auto next = args.begin();
  const int len = format.Length();
  int i = 1;
  while (i <= len) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    int start = i++;
    if (i <= len && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::string spec;
    while (i <= len && std::string("-+ 0#").find(format[i]) != std::string::npos) spec += format[i++];
    int digits = 0;
    while (i <= len && format[i] >= '0' && format[i] <= '9' && digits < 4) spec += format[i++], ++digits;
    if (i <= len && format[i] == '.') {
      spec += format[i++];
      digits = 0;
      while (i <= len && format[i] >= '0' && format[i] <= '9' && digits < 4) spec += format[i++], ++digits;
    }
    char conv = i <= len ? format[i] : '\0';
    if (conv >= 'A' && conv <= 'Z') conv = char(conv - 'A' + 'a');
    bool known = conv == 'd' || conv == 'u' || conv == 'x' || conv == 's';
    if (!known || next == args.end()) {
      // Not a placeholder we can fill: keep it as written.
      int stop = (conv != '\0') ? i : len;
      out += format.SubString(start, stop - start + 1);
      i = stop + 1;
      continue;
    }
    FormatOne(out, spec, conv, *next++);
    ++i;
  }
  return out;
}

AnsiString LoadZipStr(int id) {
  TZipMsgState& st = State();
  AnsiString text;
  if (!st.SelectedTable.empty()) text = LookupZipMsg(st.SelectedTable, id);
  if (text.IsEmpty()) {
    ExpandDefaultTable();
    text = LookupZipMsg(st.DefaultTable, id);
  }
  if (st.Hook) {
    AnsiString answer = text;
    st.Hook(id, answer);
    if (!answer.IsEmpty()) text = answer;
  }
  if (text.IsEmpty()) text = "Resource missing for " + IntToStr(id);
  return text;
}

AnsiString LoadZipStrFmt(int id, const std::vector<TZipFmtArg>& args) { return ZipFormat(LoadZipStr(id), args); }

AnsiString LookupZipMsg(const TZipMsgTable& table, int id) {
  if (table.empty() || id < 0) return AnsiString();
  const size_t size = table.size();      // the terminator included: reads stay below this
  const size_t units = size - 1;         // before the terminator
  const uint16_t blockName = uint16_t(id / 16 + 1);
  size_t i = 0;
  for (;;) {
    i = (i + 1) & ~size_t(1);
    if (i + 10 > units) return AnsiString();
    uint32_t sum = uint32_t(table[i]) + uint32_t(table[i + 2]);
    if (sum < 8) return AnsiString();
    const size_t headerUnits = (table[i + 2] >= 8) ? (table[i + 2] - 8) / 2 : 0;
    if (table[i + 4] == 0xFFFF && table[i + 5] == 6 && table[i + 6] == 0xFFFF && table[i + 7] == blockName) {
      size_t p = i + 4 + headerUnits;
      for (int skip = id % 16; skip > 0; --skip) {
        if (p >= size) return AnsiString();
        p += size_t(table[p]) + 1;
      }
      if (p >= size) return AnsiString();
      size_t count = table[p];
      if (count == 0) return AnsiString();
      if (p + 1 + count > size) return AnsiString();
      return UnitsToText(&table[p + 1], int(count));
    }
    i += 4 + (sum - 8) / 2;
  }
}

int LzssExpand(TStream* src, std::vector<uint8_t>& dst, int packedSize) {
  dst.clear();
  uint8_t head[4];
  if (packedSize < 4 || src->Read(head, 4) != 4) return -1;
  const uint32_t unpacked = uint32_t(head[0]) | (uint32_t(head[1]) << 8) | (uint32_t(head[2]) << 16) |
                            (uint32_t(head[3]) << 24);
  const int counted = packedSize - 4;
  std::vector<uint8_t> in(static_cast<size_t>(counted));
  const int got = counted > 0 ? src->Read(in.data(), counted) : 0;

  uint8_t ring[4096] = {};
  unsigned w = 4096 - 16;
  int p = 0;
  while (p < got) {
    unsigned flags = in[size_t(p++)];
    for (int bit = 0; bit < 8 && p < got; ++bit, flags >>= 1) {
      if (flags & 1) {
        uint8_t b = in[size_t(p++)];
        dst.push_back(b);
        ring[w] = b;
        w = (w + 1) & 0xFFF;
      } else {
        if (p + 1 >= got) {
          p = got;
          break;
        }
        unsigned c = in[size_t(p)], d = in[size_t(p + 1)];
        p += 2;
        unsigned s = c + (d & 0xF0) * 16;
        for (unsigned n = (d & 0x0F) + 3; n > 0; --n) {
          uint8_t b = ring[s];
          dst.push_back(b);
          ring[w] = b;
          s = (s + 1) & 0xFFF;
          w = (w + 1) & 0xFFF;
        }
      }
    }
  }
  if (got < counted) return -1;
  return dst.size() == unpacked ? 0 : -2;
}

int LoadZipMsgTable(TZipMsgTable& table, TStream* stream) {
  table.clear();
  uint8_t head[6];
  if (!stream || stream->Read(head, 6) != 6) return 0;
  const int lang = Read16(head), packed = Read16(head + 2), nameLen = Read16(head + 4);
  // Language id 0 would read as a failure to the caller: such a table is damaged, not loaded.
  if (lang == 0) return 0;
  if (stream->Size() - stream->Position() < (long long)nameLen + packed) return 0;
  stream->Seek(nameLen, soFromCurrent);
  std::vector<uint8_t> image;
  const int r = LzssExpand(stream, image, packed);
  if (r != 0) return r;
  if (image.size() >= size_t(kImageLimit)) return 0;
  table.resize((image.size() + 1) / 2 + 1);
  for (size_t k = 0; k < image.size(); ++k) table[k / 2] |= uint16_t(image[k] << ((k & 1) * 8));
  table.back() = 0xFFFF;
  return lang;
}

bool FindZipMsgTable(TStream* stream, AnsiString& name, int& id) {
  if (!stream) return false;
  if (name.Length() < 2 && id == 0) return false;
  while (stream->Position() < stream->Size() - 8) {
    const long long start = stream->Position();
    uint8_t head[6];
    if (stream->Read(head, 6) != 6) return false;
    const int tableId = Read16(head), packed = Read16(head + 2), nameLen = Read16(head + 4);
    AnsiString tableName;
    tableName.SetLength(nameLen);
    if (nameLen > 0 && stream->Read(tableName.c_str(), nameLen) != nameLen) return false;
    bool match;
    if (id != 0)
      match = tableId == id || (id < 1024 && (tableId & 0x3FF) == id);
    else
      match = CompareText(NamePart(tableName, 1), name) == 0;
    if (match) {
      name = tableName;
      id = tableId;
      stream->SetPosition(start);
      return true;
    }
    stream->Seek(packed, soFromCurrent);
  }
  return false;
}

AnsiString SetZipMsgLanguage(const AnsiString& language) {
  TZipMsgState& st = State();
  st.SelectedTable.clear();
  st.SelectedId = 0;
  st.SelectedName = AnsiString();
  AnsiString result;

  int from = 1;
  while (from <= language.Length() && language[from] == ' ') ++from;
  AnsiString name = (from <= language.Length() && !(language[from] >= '0' && language[from] <= '9'))
                        ? NamePart(language, from).UpperCase()
                        : AnsiString();
  int id = 0;
  if (name.Length() < 2) {
    name = AnsiString();
    AnsiString arg = language.Trim();
    if (arg == "*") {
      id = int(GetUserDefaultLCID());
    } else {
      id = arg.ToIntDef(0);
      if (id < 1 || id > 65535) return result;
    }
  }
  if (name == "US" || (id & 0xFFFF) == 1033) return result;

  HMODULE module = GetModuleHandleA(nullptr);
  if (!FindResourceA(module, MAKEINTRESOURCEA(ZIP_MSG_LANGUAGE_RESOURCE), RT_RCDATA)) return result;
  TResourceStream stream(module, ZIP_MSG_LANGUAGE_RESOURCE, RT_RCDATA);
  // A negative result is a damaged table: it stays empty and the compiled-in one is used.
  if (FindZipMsgTable(&stream, name, id) && LoadZipMsgTable(st.SelectedTable, &stream) > 0) {
    st.SelectedId = id;
    st.SelectedName = name;
    result = name;
  } else {
    st.SelectedTable.clear();
  }
  return result;
}

AnsiString ZipMsgLanguageInfo(int index) {
  if (index != 0) return AnsiString();
  TZipMsgState& st = State();
  return st.SelectedTable.empty() ? AnsiString("US: default") : st.SelectedName;
}
