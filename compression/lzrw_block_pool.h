// Codes batches of LZRW1/KH blocks on threads of its own, each with a coder
// of its own, while the caller reads the next batch and writes the last
// one. Every block is coded on its own, so a batch comes out block for block
// as one coder would code it.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "compression/LZRW1KH.h"

namespace stowaway {

class LzrwBlockPool {
 public:
  struct Block {
    std::unique_ptr<uint8_t[]> source;  // room for LzrwBlockSize bytes
    std::unique_ptr<uint8_t[]> coded;   // room for the coded block
    uint16_t size = 0;
    uint16_t coded_size = 0;
  };
  using Batch = std::vector<Block>;

  // Up to threads coding threads, and two batches of 16 blocks for each.
  // Starts fewer when the system refuses threads or has no memory for them;
  // with none, own codes every batch on the caller's thread. Both batches
  // are empty when not even one block's buffers could be had.
  LzrwBlockPool(TLZR& own, int threads);
  // Waits for the threads to end.
  ~LzrwBlockPool();
  // Whether an input with this many bytes left fills a batch for threads
  // threads: below that, starting them costs more than they save.
  static bool Pays(int64_t left, int threads);
  LzrwBlockPool(const LzrwBlockPool&) = delete;
  LzrwBlockPool& operator=(const LzrwBlockPool&) = delete;

  Batch& Blocks(int which) { return batches_[static_cast<size_t>(which)]; }
  // Has the first count blocks of batch which coded, while the caller goes
  // on; one batch at a time.
  void Start(int which, int count);
  // Waits until the batch started last is coded.
  void Finish();

 private:
  void Help(int k);
  void CodeShare(TLZR& coder);

  TLZR& own_;
  std::array<Batch, 2> batches_;
  std::vector<std::unique_ptr<TLZR>> coders_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable finished_;
  uint64_t started_ = 0;  // counts the batches handed out
  Batch* batch_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};  // the batch's next block to code
  int pending_ = 0;  // threads not yet done with the batch
  bool stop_ = false;
};

}  // namespace stowaway
