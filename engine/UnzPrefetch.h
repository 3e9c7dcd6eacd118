// Reads and inflates the entries a command is about to extract, ahead of it, on a thread of its
// own. Decoding has no effect outside this process, so the command meanwhile creates, writes and
// renames files as before: every callback, question and file operation stays on the caller's
// thread and in the order it had. Memory stays bounded by a few pieces.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include "UnzArchive.h"
#include "UnzDecoder.h"
#include "UnzSource.h"

namespace zbe {

class Prefetcher {
 public:
  // Entries that can be decoded ahead: files of a supported method, not encrypted.
  static bool Suits(const ZEntry& entry);

  // entries: indexes into archive, ascending, as the command takes them. source: the archive,
  // read by this alone. Started() tells whether it runs.
  Prefetcher(std::unique_ptr<ByteSource> source, const ZArchive& archive, std::vector<size_t> entries);
  ~Prefetcher();
  Prefetcher(const Prefetcher&) = delete;
  Prefetcher& operator=(const Prefetcher&) = delete;

  bool Started() const { return thread_.joinable(); }
  // Hands the entry's content to sink piece by piece, as Decoder::Decode does. False when the
  // entry is not decoded here (not in the list, or already passed): the caller decodes it itself.
  // Entries before it that were not taken are dropped.
  bool Deliver(size_t index, const DecodeSink& sink, DecodeOutcome& outcome);
  // The command is done with the entry (and those before it): what is left of it is dropped.
  void Release(size_t index);

 private:
  struct Item {
    size_t job;
    size_t piece;  // SIZE_MAX for the end of the job
    size_t size;
    DecodeOutcome outcome;
  };
  class JobSink;

  void Run();
  size_t JobOf(size_t index) const;
  void DropBefore(size_t job);
  void FreePiece(size_t piece);

  const ZArchive& archive_;
  std::vector<size_t> jobs_;
  std::unique_ptr<ByteSource> source_;
  Decoder decoder_;
  std::vector<std::unique_ptr<unsigned char[]>> pieces_;
  std::unique_ptr<unsigned char[]> scratch_;  // room for a piece that will be thrown away

  std::mutex mutex_;
  std::condition_variable producer_;  // the thread waits for a free piece
  std::condition_variable consumer_;  // the command waits for the next item
  std::vector<size_t> free_;
  std::deque<Item> queue_;  // in job order
  size_t wanted_ = 0;  // jobs before this one are dropped
  bool producerWaits_ = false;
  bool consumerWaits_ = false;
  bool quit_ = false;
  std::exception_ptr failure_;  // what stopped the thread (out of memory)
  std::thread thread_;
};

}  // namespace zbe
