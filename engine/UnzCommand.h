// One extract (or test) command: the block's options applied to every selected entry, with
// progress, questions and messages through the caller's callback.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include "UnzArchive.h"
#include "UnzDecoder.h"
#include "UnzPrefetch.h"
#include "UnzSource.h"
#include "ZBEngineIntf.h"

namespace zbe {

// True when the block can be used at all.
bool ValidUnzipParams(const UnzipParams* params);

class UnzCommand {
 public:
  UnzCommand(const UnzipParams& params, uint32_t handle, const std::atomic<bool>& abort);
  // Files processed, or a negative ZB_ERR_* result.
  int32_t Run();

 private:
  enum class Stop { None, Cancel, Abort, Handler };

  struct Target {
    std::string name;  // as reported (code page 949, "\")
    std::string path;  // DOS path to write, or the folder to create
  };

  // Callback helpers. Each returns false when the command must stop.
  bool Call(int32_t action, int32_t arg, const std::string* text = nullptr, int64_t size = 0,
            int32_t arg2 = 0, int32_t arg3 = 0);
  // Calls the callback without looking at earlier stops or the abort flag.
  bool Send(int32_t action, int32_t arg, const std::string* text = nullptr, int64_t size = 0, int32_t arg2 = 0,
            int32_t arg3 = 0);
  void Message(int32_t code, const std::string& text);
  void Verbose(const std::string& text);
  void Trace(const std::string& text);
  void Skip(const std::string& name, ZBSkipType type, int32_t code, const std::string& text);
  bool Polled();

  void ProcessEntry(size_t index, const ZEntry& entry, const std::string& ansiName);
  bool ObtainKeys(const ZEntry& entry, const std::string& name, uint64_t& dataOffset,
                  std::unique_ptr<ZCryptKeys>& keys);
  bool ExtractTo(size_t index, const ZEntry& entry, const std::string& name, const std::string& path,
                 uint64_t dataOffset, ZCryptKeys* keys);
  bool TestEntry(size_t index, const ZEntry& entry, const std::string& name, uint64_t dataOffset, ZCryptKeys* keys);
  // The entry's content from the prefetcher when it has it, else decoded here.
  DecodeOutcome DecodeData(size_t index, const ZEntry& entry, uint64_t dataOffset, ZCryptKeys* keys,
                           const DecodeSink& sink);
  bool ReportCrc(const std::string& name, uint32_t found, uint32_t expected);
  bool ProgressSink(size_t n);
  bool FlushProgress();
  bool ForceFolders(const std::string& folderPath);
  std::string TempNameFor(const std::string& path);
  void RemoveEndedWritersTemporaries(const std::string& folder);

  const UnzipParams& params_;
  uint32_t handle_;
  const std::atomic<bool>& abort_;
  ZipCallbackRecord record_{};
  Stop stop_ = Stop::None;
  std::string base_;  // extract folder with a trailing "\"
  FileSource source_;
  ZArchive archive_;
  Decoder decoder_;
  std::unique_ptr<Prefetcher> prefetch_;  // reads archive_: declared after it, so it ends first
  std::set<std::string> folders_;         // folders below the extract folder known to exist
  std::set<std::string> cleaned_;         // folders rid of ended writers' temporaries in this run
  std::vector<std::string> passwords_;  // passwords known to work, most recent first
  bool noMorePasswords_ = false;
  uint64_t pendingProgress_ = 0;
  int32_t processed_ = 0;
  uint32_t tempCounter_ = 0;
  std::string tempPrefix_;  // "~zb<process id>-"
};

}  // namespace zbe
