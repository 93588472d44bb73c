// The match finder's reading schedule, its workers and their steps.
#include "compression/lzh_match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <system_error>

#include "compression/errors.h"

namespace stowaway {

namespace {

constexpr int PositionMask = WindowSize - 1;
// Workers publish their progress at least this often, so that the encoder
// never waits long for a match that has been found.
constexpr int64_t StepBatch = 4096;
// Steps the encoder's own thread runs ahead when it finds the matches.
constexpr int64_t InlineSteps = 512;
// A first load smaller than this is taken for a small input, for which
// starting threads would cost more than they save.
constexpr int64_t LargeFirstLoad = 16384;
// The steps between two re-divisions of the trees among the workers, by
// what each tree cost in the meantime; the first comes sooner, since the
// first division is a guess.
constexpr int64_t BalanceInterval = 1 << 21;
constexpr int64_t FirstBalance = 1 << 15;

[[noreturn]] void RaiseNoMemory() { throw ElzhException("LZH : Cannot get memory for dictionary tables"); }

template <typename T>
std::unique_ptr<T> Allocate() {
  std::unique_ptr<T> made(new (std::nothrow) T());
  if (!made) RaiseNoMemory();
  return made;
}

template <typename T>
std::unique_ptr<T[]> AllocateArray(int64_t count) {
  std::unique_ptr<T[]> made(new (std::nothrow) T[static_cast<size_t>(count)]);
  if (!made) RaiseNoMemory();
  return made;
}

// Splits the first bytes among count trees so that each gets about the same
// work: the largest costs first, each to the tree with the least so far.
std::array<uint8_t, 256> Partition(const std::array<uint64_t, 256>& cost, int count) {
  std::array<int, 256> order;
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cost[a] > cost[b]; });
  std::array<uint8_t, 256> owner{};
  std::vector<uint64_t> load(static_cast<size_t>(count), 0);
  for (int b : order) {
    const auto lightest = std::min_element(load.begin(), load.end()) - load.begin();
    owner[static_cast<size_t>(b)] = static_cast<uint8_t>(lightest);
    load[static_cast<size_t>(lightest)] += cost[static_cast<size_t>(b)];
  }
  return owner;
}

}  // namespace

LzhMatchFinder::LzhMatchFinder(LzhSource& source, int threads)
    : source_(source), input_(AllocateArray<uint8_t>(Ring)) {
  // The byte-at-a-time loop reads the first 60 bytes before anything else.
  Load(MaxMatch);
  StartWorkers(threads);
  // The first Advance reads ahead: nothing here may fail once workers run.
  ahead_ = threaded_ && source_.AheadSize > 0 && source_.AheadSize <= Ring / 4;
}

LzhMatchFinder::~LzhMatchFinder() { StopWorkers(); }

void LzhMatchFinder::StopWorkers() {
  if (!threaded_) return;
  allowed_.store(-1, std::memory_order_release);
  Signal(allowed_changed_);
  for (const auto& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
  threaded_ = false;
}

void LzhMatchFinder::StartWorkers(int threads) {
  const bool large = total_ < 0 && loaded_ >= LargeFirstLoad;
  const bool threaded = large && threads > 1;
  const int count = threaded ? std::min(threads, 64) : 1;
  // Until the trees' own costs are known, a tree's inserts are taken to
  // cost the log of its size each.
  std::array<uint64_t, 256> seen{};
  for (int64_t i = 0; i < loaded_; ++i) ++seen[input_[static_cast<size_t>(i)]];
  for (uint64_t& n : seen) n *= std::bit_width(n);
  const std::array<uint8_t, 256> owner = Partition(seen, count);
  for (int k = 0; k < count; ++k) {
    std::array<bool, 256> owns;
    for (int b = 0; b < 256; ++b) owns[static_cast<size_t>(b)] = owner[static_cast<size_t>(b)] == k;
    AddWorker(owns);
  }
  if (!threaded) return;
  threaded_ = true;
  Publish();
  try {
    for (const auto& worker : workers_) worker->thread = std::thread(&LzhMatchFinder::Work, this, std::ref(*worker));
  } catch (const std::system_error&) {
    // No thread to be had: this thread finds every match itself.
    StopWorkers();
    workers_.clear();
    std::array<bool, 256> all;
    all.fill(true);
    AddWorker(all);
  }
}

void LzhMatchFinder::AddWorker(const std::array<bool, 256>& owns) {
  workers_.push_back(Allocate<Worker>());
  workers_.back()->matches = AllocateArray<uint32_t>(Ring);
  workers_.back()->tree.Reset(owns);
  workers_.back()->next_balance = FirstBalance;
}

void LzhMatchFinder::Load(int64_t count) {
  while (counted_ < count && total_ < 0) {
    if (ahead_) {
      if (pending_ == 0) ReadAheadBlock();
      const int32_t got = source_.TakeAhead();
      --pending_;
      if (got == 0) {
        total_ = counted_;
        break;
      }
      counted_ += got;
      continue;
    }
    if (!source_.Fetch()) {
      total_ = counted_;
      break;
    }
    const int64_t take = std::min<int64_t>(source_.End - source_.Next, Room());
    Append(source_.Next, take);
    source_.Next += take;
    counted_ = loaded_;
  }
}

void LzhMatchFinder::ReadAheadBlock() {
  const uint8_t* bytes = nullptr;
  const int32_t got = source_.ReadAhead(bytes);
  ++pending_;
  if (got <= 0) {
    ahead_ended_ = true;
    input_ended_ = got == 0;
    return;
  }
  Append(bytes, got);
}

void LzhMatchFinder::Append(const uint8_t* bytes, int64_t count) {
  const int64_t at = loaded_ & RingMask;
  const int64_t first = std::min(count, Ring - at);
  std::memcpy(input_.get() + at, bytes, static_cast<size_t>(first));
  std::memcpy(input_.get(), bytes + first, static_cast<size_t>(count - first));
  loaded_ += count;
}

void LzhMatchFinder::TopUp() {
  while (!ahead_ended_ && pending_ < MaxPending && Room() >= source_.AheadSize) {
    ReadAheadBlock();
  }
}

int64_t LzhMatchFinder::StepsAllowed() const {
  return total_ >= 0 || input_ended_ ? loaded_ : std::max<int64_t>(0, loaded_ - (MaxMatch - 1));
}

void LzhMatchFinder::Publish() {
  const int64_t allowed = StepsAllowed();
  if (allowed == allowed_.load(std::memory_order_relaxed)) return;
  shared_loaded_.store(loaded_, std::memory_order_relaxed);
  allowed_.store(allowed, std::memory_order_release);
  Signal(allowed_changed_);
}

void LzhMatchFinder::Advance(int64_t position) {
  oldest_ = position;
  if (position < next_check_) return;
  // Having coded up to position, the byte-at-a-time loop has asked for every
  // byte up to 59 past it.
  if (counted_ < position + MaxMatch) Load(position + MaxMatch);
  if (ahead_) TopUp();
  if (threaded_) Publish();
  next_check_ = counted_ - MaxMatch + 1;
  // The ring has room for the next block once the encoder is that far on.
  if (ahead_ && !ahead_ended_) next_check_ = std::min(next_check_, loaded_ + source_.AheadSize - Ring);
}

void LzhMatchFinder::Meet(Worker& worker) {
  // The trees move while every worker waits here at the same step; the
  // encoder, which reads only the matches, goes on meanwhile.
  std::unique_lock<std::mutex> lock(wait_mutex_);
  if (++arrived_ == static_cast<int>(workers_.size())) {
    std::array<uint64_t, 256> cost{};
    std::vector<LzhMatchTree*> trees;
    for (const auto& each : workers_) {
      for (int b = 0; b < 256; ++b) cost[static_cast<size_t>(b)] += each->tree.Work()[static_cast<size_t>(b)];
      trees.push_back(&each->tree);
    }
    LzhMatchTree::Repartition(trees.data(), static_cast<int>(trees.size()),
                              Partition(cost, static_cast<int>(trees.size())));
    arrived_ = 0;
    ++balance_round_;
    lock.unlock();
    allowed_changed_.notify_all();
  } else {
    const uint64_t round = balance_round_;
    allowed_changed_.wait(lock, [&] {
      return balance_round_ != round || allowed_.load(std::memory_order_acquire) < 0;
    });
  }
  worker.next_balance += BalanceInterval;
}

LzhMatchFinder::Match LzhMatchFinder::At(int64_t position) {
  if (threaded_) {
    for (const auto& worker : workers_) WaitFor(*worker, position + 1);
  } else if (workers_[0]->step <= position) {
    // A short stretch at a time, so that its matches are still in the
    // cache when the encoder reads them.
    Run(*workers_[0], std::min(StepsAllowed(), position + InlineSteps), loaded_);
  }
  uint32_t found = 0;
  for (const auto& worker : workers_) found |= worker->matches[position & RingMask];
  const int64_t ahead = total_ >= 0 ? total_ - position : MaxMatch;
  int length = static_cast<int>(std::min<int64_t>(found >> LzhMatchTree::LengthShift, ahead));
  if (length <= MatchThreshold) length = 0;
  return {length, static_cast<int>(found & LzhMatchTree::OffsetMask), input_[position & RingMask]};
}

void LzhMatchFinder::WaitFor(Worker& worker, int64_t steps) {
  if (worker.done.load(std::memory_order_acquire) >= steps) return;
  std::unique_lock<std::mutex> lock(wait_mutex_);
  progress_.wait(lock, [&] { return worker.done.load(std::memory_order_acquire) >= steps; });
}

void LzhMatchFinder::Signal(std::condition_variable& changed) {
  // Taking the lock orders the change before any waiter's next test of it,
  // so that no wake-up is lost.
  { const std::lock_guard<std::mutex> lock(wait_mutex_); }
  changed.notify_all();
}

void LzhMatchFinder::Work(Worker& worker) {
  for (;;) {
    int64_t allowed = allowed_.load(std::memory_order_acquire);
    if (allowed >= 0 && allowed <= worker.step) {
      std::unique_lock<std::mutex> lock(wait_mutex_);
      allowed_changed_.wait(lock, [&] {
        allowed = allowed_.load(std::memory_order_acquire);
        return allowed < 0 || allowed > worker.step;
      });
    }
    if (allowed < 0) return;
    if (worker.step == worker.next_balance) {
      Meet(worker);
      continue;
    }
    Run(worker, std::min(allowed, worker.next_balance), shared_loaded_.load(std::memory_order_relaxed));
  }
}

void LzhMatchFinder::Run(Worker& worker, int64_t until, int64_t loaded) {
  // Held in locals: the window's byte stores could alias anything the
  // compiler would otherwise load again after each of them.
  LzhMatchTree& tree = worker.tree;
  const uint8_t* const input = input_.get();
  uint32_t* const matches = worker.matches.get();
  int64_t step = worker.step;
  const auto publish = [&] {
    worker.step = step;
    worker.done.store(step, std::memory_order_release);
    if (threaded_) Signal(progress_);
  };
  if (step == 0 && step < until) {
    // The first bytes go behind the spaces, and the 60 positions before
    // them, all keys of spaces, go into the tree nearest first.
    const int64_t first = std::min<int64_t>(loaded, MaxMatch);
    std::memcpy(tree.Window + InitialFill, input, static_cast<size_t>(first));
    if (tree.Owns(InitialFill - 1)) {
      for (int i = 1; i <= MaxMatch; ++i) tree.Insert(InitialFill - i);
    }
    matches[0] = tree.Owns(InitialFill) ? tree.Insert(InitialFill) : 0;
    step = 1;
    publish();
  }
  while (step < until) {
    const int64_t end = std::min(until, step + StepBatch);
    // The oldest position leaves, the byte 59 ahead (if the input has one)
    // takes its place in the ring, and the next position goes in.
    for (; step < end; ++step) {
      const int s = static_cast<int>((step - 1) & PositionMask);
      tree.Remove(s);
      const int64_t incoming = step + MaxMatch - 1;
      if (incoming < loaded) tree.Store(s, input[incoming & RingMask]);
      const int r = static_cast<int>((step + InitialFill) & PositionMask);
      matches[step & RingMask] = tree.Owns(r) ? tree.Insert(r) : 0;
    }
    publish();
  }
}

}  // namespace stowaway
