#include "compression/lzrw_block_pool.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace stowaway {

namespace {

constexpr int32_t CodedRoom = LzrwBlockSize + LzrwCompressSlack;
// Blocks a thread codes in each batch: enough that the wait for the slowest
// block of a batch, and the batch's hand-over, cost little. A hand-over
// wakes threads, which on a virtual machine's processors can take a tenth
// of a millisecond: with 4 blocks a thread the threads spent a third of the
// time asleep. Two batches hold 2 MiB per thread.
constexpr int BlocksPerThread = 16;

std::unique_ptr<uint8_t[]> Buffer(int32_t size) { return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]); }

}  // namespace

LzrwBlockPool::LzrwBlockPool(TLZR& own, int threads) : own_(own) {
  const int wanted = BlocksPerThread * std::max(threads, 1);
  for (int k = 0; k < wanted; ++k) {
    Block first{Buffer(LzrwBlockSize), Buffer(CodedRoom)};
    Block second{Buffer(LzrwBlockSize), Buffer(CodedRoom)};
    if (!first.source || !first.coded || !second.source || !second.coded) break;
    batches_[0].push_back(std::move(first));
    batches_[1].push_back(std::move(second));
  }
  if (batches_[0].empty()) return;
  for (int k = 0; k < threads; ++k) {
    try {
      coders_.push_back(std::make_unique<TLZR>());
    } catch (...) {
      break;  // no memory for its table: fewer threads
    }
  }
  threads_.reserve(coders_.size());
  for (size_t k = 0; k < coders_.size(); ++k) {
    try {
      threads_.emplace_back(&LzrwBlockPool::Help, this, static_cast<int>(k));
    } catch (const std::system_error&) {
      break;
    }
  }
}

bool LzrwBlockPool::Pays(int64_t left, int threads) {
  return left >= int64_t{BlocksPerThread} * threads * LzrwBlockSize;
}

LzrwBlockPool::~LzrwBlockPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void LzrwBlockPool::CodeShare(TLZR& coder) {
  // Taken one at a time rather than dealt out in turn: a thread that shares
  // its processor with the caller's reads and writes codes fewer.
  for (int i; (i = next_.fetch_add(1, std::memory_order_relaxed)) < count_;) {
    Block& block = (*batch_)[static_cast<size_t>(i)];
    block.coded_size = coder.CompressBlock(block.source.get(), block.coded.get(), block.size);
  }
}

void LzrwBlockPool::Start(int which, int count) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    batch_ = &batches_[static_cast<size_t>(which)];
    count_ = count;
    next_.store(0, std::memory_order_relaxed);
    pending_ = static_cast<int>(threads_.size());
    ++started_;
  }
  if (threads_.empty()) {
    CodeShare(own_);
    return;
  }
  start_.notify_all();
}

void LzrwBlockPool::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return pending_ == 0; });
}

void LzrwBlockPool::Help(int k) {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return stop_ || started_ != seen; });
    if (stop_) return;
    seen = started_;
    lock.unlock();
    CodeShare(*coders_[static_cast<size_t>(k)]);
    lock.lock();
    if (--pending_ == 0) finished_.notify_one();
  }
}

}  // namespace stowaway
