// Loading and saving string lists: the whole text through a stream.
#include "Classes.h"

void TStrings::LoadFromStream(TStream* stream) {
  long long size = stream->GetSize() - stream->GetPosition();
  std::string text(size_t(size > 0 ? size : 0), '\0');
  int n = text.empty() ? 0 : stream->Read(text.data(), int(text.size()));
  text.resize(size_t(n > 0 ? n : 0));
  SetText(AnsiString(std::move(text)));
}

void TStrings::SaveToStream(TStream* stream) const {
  AnsiString text = GetText();
  stream->WriteBuffer(text.c_str(), text.Length());
}

void TStrings::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToFile(const AnsiString& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(&stream);
}
