#include "EZipBuilder.h"

EZipBuilder EZipBuilder::Create(const AnsiString& text) { return EZipBuilder(text, ZIP_UNKNOWN_ERROR, true); }

EZipBuilder EZipBuilder::CreateFromId(int id, bool show) { return EZipBuilder(LoadZipStr(id), id, show); }

EZipBuilder EZipBuilder::CreateFromIdInt(int id, int number) {
  return EZipBuilder(ZipFormat(LoadZipStr(id), {number}), id, true);
}

EZipBuilder EZipBuilder::CreateFromIdStr(int id, const AnsiString& text) {
  return EZipBuilder(ZipFormat(LoadZipStr(id), {text}), id, true);
}

EZipBuilder EZipBuilder::CreateFromIdArgs(int id, const std::vector<TZipFmtArg>& args) {
  return EZipBuilder(LoadZipStrFmt(id, args), id, true);
}

EZipAbort::EZipAbort() : EZipBuilder(LoadZipStr(ZIP_USER_CANCELLED), ZIP_USER_CANCELLED, false) {}
