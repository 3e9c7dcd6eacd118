// The engine callback: every progress step, message and question of a running engine command
// becomes a report or an event, and the answers go back into the engine's record.
#include <algorithm>
#include <cstring>

#include "ZBWrkr.h"

namespace {

// Copies at most max characters and a terminating zero into the reply area.
void PutReply(ZipCallbackRecord* rec, const AnsiString& text, int max) {
  const int n = std::min(text.Length(), max);
  std::memcpy(rec->Reply, text.c_str(), size_t(n));
  rec->Reply[n] = '\0';
}

}  // namespace

int32_t WINAPI TZBWorker::DllCallback(void* caller, ZipCallbackRecord* rec) {
  TZBWorker* worker = static_cast<TZBWorker*>(caller);
  worker->HandleCallback(rec);
  if (!worker->FailedEventName.IsEmpty()) return ZB_CB_HANDLER_FAILED;
  return worker->Cancel ? ZB_CB_CANCEL : ZB_CB_CONTINUE;
}

AnsiString TZBWorker::CallbackFileName(const ZipCallbackRecord* rec) const {
  return SetSlash(rec->FileName ? AnsiString(rec->FileName) : AnsiString());
}

void TZBWorker::HandleCallback(ZipCallbackRecord* rec) {
  if (Closing) return;
  const int action = rec->ActionCode & ZB_ACTION_MASK;
  if (action == zacCommandHandle) {
    CommandHandle = uint32_t(rec->ErrorCode);
    return;
  }
  TZBEvents& ev = FEvents;
  TObject* sender = Sender();
  try {
    switch (action) {
      case zacTick:
      case zacItem:
      case zacProgress:
      case zacEndOfBatch:
      case zacMessage:
      case zacCount:
      case zacSize:
      case zacXItem:
      case zacXProgress: {
        if (action >= zacItem && action <= zacEndOfBatch && rec->IsOperationZip)
          Details->SetItemProgress((long long)(((uint64_t)uint32_t(rec->Progress2) << 32) | uint32_t(rec->Progress1)));
        int errcode = 0;
        long long n = 0;
        AnsiString text;
        switch (action) {
          case zacItem:
            n = rec->FileSize;
            text = CallbackFileName(rec);
            break;
          case zacProgress:
          case zacEndOfBatch:
          case zacSize:
            n = rec->FileSize;
            break;
          case zacMessage:
            errcode = rec->ErrorCode;
            text = CallbackFileName(rec);
            break;
          case zacCount:
            n = rec->ErrorCode;
            break;
          case zacXItem:
            errcode = rec->ErrorCode;
            n = rec->FileSize;
            text = CallbackFileName(rec);
            break;
          case zacXProgress:
            errcode = rec->ErrorCode;
            n = rec->FileSize;
            break;
        }
        Report(int8_t(action), errcode, n, text);
        return;
      }

      case zacNewName: {
        if (!ev.OnSetNewName && !ev.OnSetAddName) break;
        const AnsiString name = CallbackFileName(rec);
        // Read before a reply overwrites the area.
        const AnsiString extName = rec->Data ? SetSlash(static_cast<const char*>(rec->Data)) : AnsiString();
        const bool hasExtName = rec->Data != nullptr;
        if (ev.OnSetNewName) {
          AnsiString newName = name;
          bool changed = false;
          ev.OnSetNewName(sender, newName, changed);
          if (changed) {
            NewNameBuffer = newName;
            PutReply(rec, newName, ZB_REPLY_TEXT_MAX);
            rec->ActionCode = ZB_REPLY_YES;
          }
        }
        if (hasExtName && ev.OnSetAddName) {
          AnsiString newName = name;
          bool changed = false;
          ev.OnSetAddName(sender, newName, extName, changed);
          if (changed) {
            NewNameBuffer = newName;
            PutReply(rec, newName, ZB_REPLY_TEXT_MAX);
            rec->ActionCode = ZB_REPLY_YES;
          }
        }
        break;
      }

      case zacPassword: {
        const AnsiString name = CallbackFileName(rec);
        const bool isZip = rec->IsOperationZip != 0;
        AnsiString password;
        uint32_t repeat = uint32_t(rec->ErrorCode);
        TMsgDlgBtn act = mbOK;
        if (ev.OnPasswordError) {
          ev.OnPasswordError(sender, isZip, password, name, repeat, act);
          if (act != mbOK) password = AnsiString();
        } else {
          password = isZip ? GetAddPassword(act) : GetExtrPassword(act);
        }
        if (!password.IsEmpty()) {
          PutReply(rec, password, ZB_PASSWORD_MAX);
          rec->ActionCode = ZB_REPLY_YES;
        } else {
          repeat = 0;
          rec->ActionCode = ZB_REPLY_NO;
        }
        rec->ErrorCode = int32_t(std::min<uint32_t>(repeat, 15));
        if (act == mbCancel)
          rec->ActionCode = ZB_REPLY_NO;
        else if (act == mbNoToAll)
          rec->ActionCode = ZB_REPLY_NO_TO_ALL;
        else if (act == mbAbort)
          Cancel = true;
        break;
      }

      case zacCRCError:
        if (ev.OnCRC32Error) {
          bool doExtract = true;
          ev.OnCRC32Error(sender, CallbackFileName(rec), uint32_t(rec->ErrorCode), uint32_t(rec->Arg2), doExtract);
          rec->ActionCode = doExtract ? ZB_REPLY_YES : ZB_REPLY_NO_TO_ALL;
        }
        break;

      case zacOverwrite:
        if (ev.OnExtractOverwrite) {
          bool doOverwrite = rec->ErrorCode != 0;
          ev.OnExtractOverwrite(sender, CallbackFileName(rec), rec->Arg3 != 2, doOverwrite, rec->Arg2);
          rec->ActionCode = doOverwrite ? ZB_REPLY_YES : ZB_REPLY_NO;
        }
        break;

      case zacSkipped: {
        int error = rec->ErrorCode;
        const int skipType = int(rec->Arg2 & 0xFF) - 1;
        if (error != 0) {
          LastMessageCode = error;
          error &= 0xFF;
        }
        const AnsiString name = CallbackFileName(rec);
        if (ev.OnExtractSkipped)
          ev.OnExtractSkipped(sender, name, UnZipSkipTypes(skipType), error);
        else if (ev.OnMessage)
          ev.OnMessage(sender, 10125, LoadZipStrFmt(10126, {name, skipType}));
        break;
      }

      case zacComment:
        if (ev.OnFileComment) {
          AnsiString comment = rec->Data ? AnsiString(static_cast<const char*>(rec->Data)) : AnsiString();
          bool changed = false;
          ev.OnFileComment(sender, CallbackFileName(rec), comment, changed);
          if (changed) {
            PutReply(rec, comment, ZB_REPLY_TEXT_MAX - 1);
            rec->ErrorCode = std::min(comment.Length(), ZB_REPLY_TEXT_MAX - 1);
            rec->ActionCode = ZB_REPLY_YES;
          }
        }
        break;

      case zacStream:
        try {
          if (rec->FileSize < 0) throw ERangeError("negative size");
          ZipStream->SetSize(rec->FileSize);
          rec->Data = ZipStream->Memory();
          rec->ActionCode = ZB_REPLY_YES;
        } catch (const std::exception&) {
          rec->ActionCode = ZB_REPLY_NO;
          rec->FileSize = 0;
        }
        break;

      case zacData:
        if (ev.OnFileExtra) {
          const int n = rec->ErrorCode;
          ExtraDataBuffer = n > 0 && rec->Data ? AnsiString(static_cast<const char*>(rec->Data), n) : AnsiString();
          bool changed = false;
          ev.OnFileExtra(sender, CallbackFileName(rec), ExtraDataBuffer, changed);
          if (changed) {
            const int len = ExtraDataBuffer.Length();
            if (len > 0 && len < ZB_REPLY_TEXT_MAX)
              std::memcpy(rec->Reply, ExtraDataBuffer.c_str(), size_t(len));
            else
              rec->Data = ExtraDataBuffer.c_str();
            rec->ErrorCode = len;
            rec->ActionCode = ZB_REPLY_YES;
          }
        }
        break;

      case zacExtName:
        if (ev.OnSetExtName) {
          const AnsiString name = CallbackFileName(rec);
          AnsiString newName = name;
          bool changed = false;
          ev.OnSetExtName(sender, newName, changed);
          // A file may not become a folder, nor a folder a file.
          if (changed && newName != name && EndsWithSlash(newName) == EndsWithSlash(name)) {
            NewNameBuffer = newName;
            PutReply(rec, newName, ZB_REPLY_TEXT_MAX);
            rec->ActionCode = ZB_REPLY_YES;
          }
        }
        break;

      default:
        // 19 to 63: nothing to do.
        break;
    }
    Report(zrPoll, 0, 0, AnsiString());
  } catch (const std::exception& e) {
    if (FailedEventName.IsEmpty())
      FailedEventName = " #" + IntToStr(action) + " \"" + AnsiString(e.what()) + "\"";
    Cancel = true;
  } catch (...) {
    if (FailedEventName.IsEmpty()) FailedEventName = " #" + IntToStr(action) + " \"\"";
    Cancel = true;
  }
}

AnsiString TZBWorker::GetExtrPassword(TMsgDlgBtn& action) {
  if (Unattended) {
    ShowZipMessage(10151, AnsiString());
    return AnsiString();
  }
  AnsiString password;
  action = PasswordPrompt(LoadZipStr(10154), LoadZipStr(10155), password, TMsgDlgButtons() << mbOK << mbCancel << mbAll,
                          10003);
  return password;
}

AnsiString TZBWorker::GetAddPassword(TMsgDlgBtn& action) {
  if (Unattended) {
    ShowZipMessage(10150, AnsiString());
    return AnsiString();
  }
  AnsiString first, second;
  action = PasswordPrompt(LoadZipStr(10154), LoadZipStr(10155), first, TMsgDlgButtons() << mbOK << mbCancel, 10004);
  if (action != mbOK || first.IsEmpty()) return AnsiString();
  action = PasswordPrompt(LoadZipStr(10154), LoadZipStr(10156), second, TMsgDlgButtons() << mbOK << mbCancel, 10005);
  if (action != mbOK || second.IsEmpty()) return AnsiString();
  if (first != second) {
    ShowZipMessage(10104, AnsiString());
    return AnsiString();
  }
  return first;
}

TMsgDlgBtn TZBWorker::PasswordPrompt(const AnsiString& title, const AnsiString& message, AnsiString& password,
                                     TMsgDlgButtons buttons, int context) {
  password = AnsiString();
  AnsiString text = message;
  switch (ZipDialog(title, text, (context & 0xFFFF) + ZIP_DLG_PASSWORD * 65536, buttons)) {
    case mrOk:
      password = text;
      return mbOK;
    case mrCancel:
      return mbCancel;
    case mrAll:
      return mbNoToAll;
    default:
      return mbAbort;
  }
}
