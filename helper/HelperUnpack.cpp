#include "HelperUnpack.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <vector>

#include "SysUtils.h"
#include "UnzCommand.h"
#include "ZBEngineIntf.h"

namespace {

struct UnpackState {
  int skipped = 0;
  AnsiString firstSkipped;
};

int32_t WINAPI Callback(void* caller, ZipCallbackRecord* record) {
  UnpackState* state = static_cast<UnpackState*>(caller);
  switch (record->ActionCode & ZB_ACTION_MASK) {
    case zacPassword:  // update packages carry no password
      record->ActionCode = ZB_REPLY_NO;
      record->ErrorCode = 0;
      break;
    case zacOverwrite:  // the point of an update is to replace
      record->ActionCode = ZB_REPLY_YES;
      break;
    case zacSkipped:
      if (state->skipped++ == 0 && record->FileName) state->firstSkipped = record->FileName;
      break;
    default:
      break;
  }
  return ZB_CB_CONTINUE;
}

}  // namespace

bool UnpackPackage(const AnsiString& archive, const AnsiString& folder, AnsiString& error) {
  if (!FileExists(archive)) {
    error = "missing";
    return false;
  }
  AnsiString archivePath = ExpandFileName(archive);
  std::vector<char> extractDir(ZB_EXTRACT_DIR_SIZE, 0);
  AnsiString dir = ExpandFileName(folder);
  if (dir.Length() >= ZB_EXTRACT_DIR_SIZE) {
    error = "the folder name is too long";
    return false;
  }
  std::strncpy(extractDir.data(), dir.c_str(), extractDir.size() - 1);

  UnpackState state;
  UnzipParams params;
  std::memset(&params, 0, sizeof(params));
  params.Caller = &state;
  params.Version = ZB_PARAMS_VERSION;
  params.Callback = Callback;
  params.Command = ZB_UNZ_COMMAND_EXTRACT;
  params.DirNames = 1;
  params.OverWrite = 1;
  params.ArchiveName = archivePath.c_str();
  params.ExtractDir = extractDir.data();
  params.EndMark = ZB_PARAMS_END_MARK;

  AnsiString oldDir = GetCurrentDir();
  int32_t result = ZB_ERR_INTERNAL;
  try {
    std::atomic<bool> abort{false};
    zbe::UnzCommand command(params, 1, abort);
    result = command.Run();
  } catch (const std::exception&) {
    result = ZB_ERR_INTERNAL;
  }
  SetCurrentDir(oldDir);
  if (result < 0) {
    error = Format("the engine reported %d", int(result));
    return false;
  }
  if (state.skipped > 0) {
    error = Format("%d entries not written (first: %s)", state.skipped, state.firstSkipped.c_str());
    return false;
  }
  return true;
}
