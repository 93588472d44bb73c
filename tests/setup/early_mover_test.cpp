// The mover's thread: every place handed over is moved, in the order given,
// before Finish returns, and handing one over never waits for a move.
#include "setup/early_mover.h"

#include <gtest/gtest.h>

#include <future>
#include <new>
#include <vector>

namespace stowaway {
namespace {

TEST(EarlyMover, MovesEveryPlaceInOrderWhileTheWindowGoesOn) {
  std::promise<void> gate;
  std::shared_future<void> open = gate.get_future().share();
  std::vector<size_t> moved;
  EarlyMover mover([&](size_t index) {
    // The first move is slow: the places after it are handed over meanwhile.
    if (index == 0) open.wait();
    moved.push_back(index);
  });
  for (size_t index = 0; index < 100; ++index) mover.Add(index);
  gate.set_value();
  mover.Finish();
  std::vector<size_t> expected;
  for (size_t index = 0; index < 100; ++index) expected.push_back(index);
  EXPECT_EQ(moved, expected);
}

TEST(EarlyMover, AFailingMoveLeavesTheOthers) {
  std::vector<size_t> moved;
  {
    EarlyMover mover([&](size_t index) {
      if (index == 1) throw std::bad_alloc();
      moved.push_back(index);
    });
    for (size_t index = 0; index < 3; ++index) mover.Add(index);
  }  // ends through its destructor
  EXPECT_EQ(moved, (std::vector<size_t>{0, 2}));
}

}  // namespace
}  // namespace stowaway
