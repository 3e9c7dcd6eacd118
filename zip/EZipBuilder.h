// The zip component's exceptions: a failure with its message id, and the user's cancellation.
#pragma once
#include <vector>

#include "SysUtils.h"
#include "ZipMsg.h"

class EZipBuilder : public Exception {
 public:
  EZipBuilder(const AnsiString& text, int id, bool show) : Exception(text), ShowBox(show), MessageId(id) {}

  // A plain text: "Unknown Error" as its id.
  static EZipBuilder Create(const AnsiString& text);
  static EZipBuilder CreateFromId(int id, bool show);
  static EZipBuilder CreateFromIdInt(int id, int number);
  static EZipBuilder CreateFromIdStr(int id, const AnsiString& text);
  // The text formatted once with the whole list, so a "%" inside an argument stays as it is.
  static EZipBuilder CreateFromIdArgs(int id, const std::vector<TZipFmtArg>& args);

  bool ShowBox;
  int MessageId;
};

class EZipAbort : public EZipBuilder {
 public:
  EZipAbort();
};

// Ids the exceptions use themselves.
constexpr int ZIP_UNKNOWN_ERROR = 11049;
constexpr int ZIP_USER_CANCELLED = 11007;
