#include "UnzPrefetch.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

namespace zbe {

namespace {

// 8 MB: while the command creates a run of small files, the thread gets far enough into the
// next large entry that the command seldom waits for it. Memory stays at that whatever the
// archive.
constexpr size_t kPieces = 32;

}  // namespace

// Runs on the thread: lends free pieces to the decoder and queues what it wrote in them.
class Prefetcher::JobSink : public ContentSink {
 public:
  JobSink(Prefetcher& owner, size_t job) : owner_(owner), job_(job) {}
  ~JobSink() override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    if (piece_ != SIZE_MAX) owner_.FreePiece(piece_);
  }
  JobSink(const JobSink&) = delete;
  JobSink& operator=(const JobSink&) = delete;

  unsigned char* Room() override {
    std::unique_lock<std::mutex> lock(owner_.mutex_);
    if (piece_ == SIZE_MAX) {
      owner_.producerWaits_ = true;
      owner_.producer_.wait(lock, [this] { return Dropped() || !owner_.free_.empty(); });
      owner_.producerWaits_ = false;
      if (Dropped()) return owner_.scratch_.get();  // Take refuses it
      piece_ = owner_.free_.back();
      owner_.free_.pop_back();
    }
    return owner_.pieces_[piece_].get();
  }

  bool Take(const unsigned char*, size_t size) override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    if (Dropped()) return false;
    owner_.queue_.push_back(Item{job_, piece_, size, {}});
    piece_ = SIZE_MAX;
    if (owner_.consumerWaits_) owner_.consumer_.notify_one();
    return true;
  }

 private:
  bool Dropped() const { return owner_.quit_ || job_ < owner_.wanted_; }

  Prefetcher& owner_;
  size_t job_;
  size_t piece_ = SIZE_MAX;  // lent to the decoder
};

bool Prefetcher::Suits(const ZEntry& entry) {
  return !entry.IsDirectory() && !entry.IsEncrypted() && IsSupportedMethod(entry.method) &&
         (entry.flags & 0x0040) == 0;
}

Prefetcher::Prefetcher(std::unique_ptr<ByteSource> source, const ZArchive& archive, std::vector<size_t> entries)
    : archive_(archive), jobs_(std::move(entries)), source_(std::move(source)) {
  if (jobs_.empty() || !source_) return;
  for (size_t i = 0; i < kPieces; ++i) {
    pieces_.push_back(std::make_unique_for_overwrite<unsigned char[]>(kPieceSize));
    free_.push_back(i);
  }
  scratch_ = std::make_unique_for_overwrite<unsigned char[]>(kPieceSize);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: the command decodes every entry itself.
  }
}

Prefetcher::~Prefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  producer_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Prefetcher::Run() {
  try {
    for (size_t job = 0; job < jobs_.size(); ++job) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quit_) return;
        if (job < wanted_) continue;
      }
      const ZEntry& entry = archive_.entries[jobs_[job]];
      DecodeOutcome outcome;
      uint64_t dataOffset = 0;
      if (LocateData(*source_, archive_, entry, dataOffset, outcome.detail)) {
        JobSink sink(*this, job);
        outcome = decoder_.Decode(*source_, dataOffset, entry, nullptr, sink);
      } else {
        outcome.result = DecodeResult::Damaged;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (job < wanted_) continue;
      queue_.push_back(Item{job, SIZE_MAX, 0, std::move(outcome)});
      if (consumerWaits_) consumer_.notify_one();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
    consumer_.notify_one();
  }
}

size_t Prefetcher::JobOf(size_t index) const {
  auto it = std::lower_bound(jobs_.begin(), jobs_.end(), index);
  return it != jobs_.end() && *it == index ? static_cast<size_t>(it - jobs_.begin()) : SIZE_MAX;
}

// Both run with the lock held.
void Prefetcher::FreePiece(size_t piece) {
  free_.push_back(piece);
  // Woken only once there is room for several pieces, so that it works in runs.
  if (producerWaits_ && free_.size() >= kPieces / 2) producer_.notify_one();
}

void Prefetcher::DropBefore(size_t job) {
  if (job > wanted_) {
    wanted_ = job;
    if (producerWaits_) producer_.notify_one();  // a dropped job stops waiting for room
  }
  while (!queue_.empty() && queue_.front().job < wanted_) {
    if (queue_.front().piece != SIZE_MAX) FreePiece(queue_.front().piece);
    queue_.pop_front();
  }
}

bool Prefetcher::Deliver(size_t index, const DecodeSink& sink, DecodeOutcome& outcome) {
  size_t job = JobOf(index);
  if (!Started() || job == SIZE_MAX) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (job < wanted_) return false;
  for (;;) {
    DropBefore(job);
    if (queue_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      consumerWaits_ = true;
      consumer_.wait(lock, [this] { return !queue_.empty() || failure_; });
      consumerWaits_ = false;
      continue;
    }
    Item item = std::move(queue_.front());
    queue_.pop_front();
    if (item.piece == SIZE_MAX) {
      wanted_ = job + 1;
      outcome = std::move(item.outcome);
      return true;
    }
    lock.unlock();
    bool more = sink(pieces_[item.piece].get(), item.size);
    lock.lock();
    FreePiece(item.piece);
    if (!more) {
      DropBefore(job + 1);
      outcome = DecodeOutcome{};
      outcome.result = DecodeResult::Stopped;
      return true;
    }
  }
}

void Prefetcher::Release(size_t index) {
  size_t job = JobOf(index);
  if (!Started() || job == SIZE_MAX) return;
  std::lock_guard<std::mutex> lock(mutex_);
  DropBefore(job + 1);
}

}  // namespace zbe
