// Finds the LZH encoder's matches, position by position, ahead of the
// encoder and on other threads where it can.
//
// Every position of the input is inserted into the match tree and every
// position 4036 behind it removed again, whatever the encoder makes of the
// matches; only the input decides that sequence of steps. So the trees can
// be split by first byte among workers, each replaying every step on a tree
// object and window of its own and recording the matches of the positions it
// owns, while the encoder consumes them in order.
//
// Reading keeps the schedule of a finder that moves one position at a time
// behind the encoder: a block is taken only when the encoder has come so far
// that the byte-at-a-time loop would have asked for a byte the blocks taken
// do not hold. So progress points and failures come exactly where they
// always did. On one thread the input's position does too. Workers need
// more input than that schedule gives them, or they wait for the encoder at
// every block: from a source that can read ahead, blocks are read early, up
// to what the ring holds, and each is taken (counted, its progress point
// made, its failure raised) when its turn comes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "compression/lzh.h"
#include "compression/lzh_match_tree.h"

namespace stowaway {

class LzhMatchFinder {
 public:
  struct Match {
    int length;  // 0 when no match is worth coding; never past the input
    int offset;
    uint8_t literal;  // the byte at the position
  };

  // Loads what the first position needs; then, when threads is above 1 and
  // the first load is large, starts that many workers. Otherwise (or when
  // no thread can be had) the encoder's own thread does the work as one
  // worker holding every tree.
  LzhMatchFinder(LzhSource& source, int threads);
  // Stops and waits for the workers, also when the encoder failed.
  ~LzhMatchFinder();
  LzhMatchFinder(const LzhMatchFinder&) = delete;
  LzhMatchFinder& operator=(const LzhMatchFinder&) = delete;

  // True once the input has ended and position is at or past its end.
  bool AtEnd(int64_t position) const { return total_ >= 0 && position >= total_; }
  // The size of the input, once it has ended; -1 before.
  int64_t Total() const { return total_; }
  // The match at position, which must be before the end and not before any
  // position asked for earlier.
  Match At(int64_t position);
  // The encoder has coded everything before position: load what the
  // byte-at-a-time loop would have read by then.
  void Advance(int64_t position);

 private:
  static constexpr int RingBits = 18;
  // Blocks read ahead and not yet taken, at most: a source that delivers
  // a few bytes a read would otherwise queue thousands.
  static constexpr int MaxPending = 64;
  static constexpr int64_t Ring = int64_t{1} << RingBits;
  static constexpr int64_t RingMask = Ring - 1;

  // Each part on cache lines of its own: the encoder reads the matches
  // and polls done while the worker changes its tree at every step.
  struct Worker {
    // The match of step i at i & RingMask, 0 where another worker's tree
    // holds the position: arrays of their own, so that no two threads write
    // to one cache line.
    std::unique_ptr<uint32_t[]> matches;
    std::thread thread;
    alignas(64) LzhMatchTree tree;
    int64_t step = 0;  // the next step to run
    int64_t next_balance = 0;  // the step before which the trees next move
    // Steps whose matches are recorded.
    alignas(64) std::atomic<int64_t> done{0};
  };


  // Takes blocks until count bytes have been taken or the input has ended.
  void Load(int64_t count);
  // Reads one block ahead into the ring.
  void ReadAheadBlock();
  // Puts count bytes into the ring behind those loaded.
  void Append(const uint8_t* bytes, int64_t count);
  // Reads ahead as far as the ring has room.
  void TopUp();
  // Bytes the ring can take: positions before oldest_ are no longer needed,
  // and it holds the rest.
  int64_t Room() const { return oldest_ + Ring - loaded_; }
  // The steps the loaded input allows: every step of an input that has
  // ended, else those whose window bytes are loaded.
  int64_t StepsAllowed() const;
  // Lets the workers run what the loaded input allows.
  void Publish();
  // Runs the worker's steps up to until, with loaded bytes of input at hand.
  void Run(Worker& worker, int64_t until, int64_t loaded);
  // A worker's thread: runs whatever is allowed until told to stop.
  void Work(Worker& worker);
  void StartWorkers(int threads);
  void AddWorker(const std::array<bool, 256>& owns);
  void StopWorkers();
  // Waits until the worker has recorded the matches of steps steps.
  void WaitFor(Worker& worker, int64_t steps);
  // Wakes the threads waiting for changed, after a change to what they test.
  void Signal(std::condition_variable& changed);
  // Waits until every worker has come to the step of the worker's next
  // re-division, then divides the trees anew by what each cost since the
  // last time.
  void Meet(Worker& worker);

  // What the workers read: set before they start and unchanged while they
  // run.
  alignas(64) LzhSource& source_;
  // Input position i sits at i & RingMask.
  std::unique_ptr<uint8_t[]> input_;
  std::vector<std::unique_ptr<Worker>> workers_;
  bool threaded_ = false;
  // What the workers may run: StepsAllowed, or -1 to make them stop; and
  // loaded_ as of then. Away from the encoder's own counts, which change
  // at every match, so that the workers' cache keeps its copy.
  alignas(64) std::atomic<int64_t> allowed_{0};
  std::atomic<int64_t> shared_loaded_{0};
  // Waits go through a lock and conditions: what every platform's threads
  // library does well.
  std::mutex wait_mutex_;
  std::condition_variable progress_;         // a worker's done moved on
  std::condition_variable allowed_changed_;  // allowed_ changed, or the trees moved
  alignas(64) int64_t loaded_ = 0;  // bytes in the ring, read ahead or taken
  int64_t counted_ = 0;              // bytes taken
  int64_t total_ = -1;               // the input's size, once its end is taken
  bool ahead_ = false;               // reading ahead
  bool ahead_ended_ = false;         // no more to read ahead: end or failure
  bool input_ended_ = false;         // the end has been read ahead
  int pending_ = 0;                  // blocks read ahead, not yet taken
  int64_t next_check_ = 0;           // where Advance has anything to do
  int64_t oldest_ = 0;  // the first position the encoder may still ask for
  // Workers at the step of the next re-division, and re-divisions so far.
  int arrived_ = 0;
  uint64_t balance_round_ = 0;
};

}  // namespace stowaway
