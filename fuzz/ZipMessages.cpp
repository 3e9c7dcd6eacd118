// The zip component's message tables as they come from a language resource: finding a table by
// name or language id, expanding it, looking texts up and formatting them with arguments.
// Every text found is formatted without reading past its arguments.
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "FuzzSupport.h"
#include "ZipMsg.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, int(size));

  std::vector<int> ids = {10101, 10201, 10222, 10301, 10401, 10501, 10601, 10701};
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) ids.push_back(10000 + ((data[i] | (data[i + 1] << 8)) % 1000));

  for (const char* wanted : {"KO", "1042", "US", "*"}) {
    stream.SetPosition(0);
    AnsiString name = wanted;
    int id = 0;
    if (!FindZipMsgTable(&stream, name, id)) continue;
    TZipMsgTable table;
    int language = LoadZipMsgTable(table, &stream);
    Check(table.empty() == (language <= 0), "a table was loaded but reported as failed, or the reverse");
    if (!table.empty()) Check(table.back() == 0xFFFF, "a loaded table lacks its end mark");
    for (int msg : ids) {
      AnsiString text = LookupZipMsg(table, msg);
      ZipFormat(text, {});
      ZipFormat(text, {TZipFmtArg(42), TZipFmtArg("name.txt"), TZipFmtArg(-1)});
    }
  }

  // The packed stream itself, as the expander sees it.
  stream.SetPosition(0);
  std::vector<uint8_t> out;
  int packed = size >= 4 ? int(data[0] | (data[1] << 8)) : int(size);
  LzssExpand(&stream, out, packed);

  // A text from outside the program used as a format.
  AnsiString format(std::string(reinterpret_cast<const char*>(data), size));
  ZipFormat(format, {TZipFmtArg(7), TZipFmtArg("x")});
  return 0;
}
