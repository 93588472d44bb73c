// The adaptive Huffman model: its initial codes, its updates and its rebuild.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <set>
#include <vector>

#include "compression/lzh.h"

namespace stowaway {
namespace {

class LzhModel : public ::testing::Test {
 protected:
  void SetUp() override {
    model.AllocTables();
    model.InitModel();
  }
  void TearDown() override { model.FreeTables(); }

  // The cost of an optimal prefix code for these weights.
  static uint64_t HuffmanCost(const std::vector<uint64_t>& weights) {
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> queue(weights.begin(),
                                                                                 weights.end());
    uint64_t cost = 0;
    while (queue.size() > 1) {
      const uint64_t a = queue.top();
      queue.pop();
      const uint64_t b = queue.top();
      queue.pop();
      cost += a + b;
      queue.push(a + b);
    }
    return cost;
  }

  // The model must stay a Huffman tree for the counts it has seen: a
  // complete prefix code whose weighted length is optimal.
  void ExpectOptimalFor(const std::vector<uint64_t>& weights) {
    std::set<std::string> codes;
    uint64_t cost = 0;
    double kraft = 0;
    for (int s = 0; s < SymbolCount; ++s) {
      const std::string code = model.SymbolCode(s);
      ASSERT_FALSE(code.empty());
      codes.insert(code);
      cost += weights[s] * code.size();
      kraft += 1.0 / static_cast<double>(uint64_t{1} << code.size());
    }
    EXPECT_EQ(codes.size(), size_t{SymbolCount}) << "every symbol has its own code";
    EXPECT_DOUBLE_EQ(kraft, 1.0) << "the code is complete";
    EXPECT_EQ(cost, HuffmanCost(weights));
  }

  TLZH model;
};

TEST_F(LzhModel, InitialCodes) {
  for (int s = 0; s < SymbolCount; ++s) {
    EXPECT_EQ(model.SymbolCode(s).size(), s < 116 ? 9u : 8u) << "symbol " << s;
  }
  EXPECT_EQ(model.SymbolCode(0), "110001100");
  EXPECT_EQ(model.SymbolCode(32), "110101100");
  EXPECT_EQ(model.SymbolCode(115), "111111111");
  EXPECT_EQ(model.SymbolCode(116), "00000000");
  EXPECT_EQ(model.SymbolCode(313), "11000101");
}

TEST_F(LzhModel, OneOccurrenceMovesTheSymbolUp) {
  model.UpdateModel(65);
  EXPECT_EQ(model.SymbolCode(65), "11000101");
  ExpectOptimalFor([] {
    std::vector<uint64_t> w(SymbolCount, 1);
    w[65] = 2;
    return w;
  }());
}

TEST_F(LzhModel, StaysOptimalAcrossRebuilds) {
  std::vector<uint64_t> weights(SymbolCount, 1);
  uint64_t root = SymbolCount;
  int rebuilds = 0;
  std::mt19937 rng(7);
  std::geometric_distribution<int> skewed(0.05);
  for (int n = 1; n <= 70000; ++n) {
    // The root weighs 314 plus the symbols counted; the update that finds it
    // at 0x8000 (the 32455th at first) halves every weight, rounding up,
    // before it counts.
    if (root == WeightLimit) {
      root = 0;
      for (auto& w : weights) root += w = (w + 1) / 2;
      ++rebuilds;
    }
    const int s = (skewed(rng) * (n > 40000 ? 7 : 1)) % SymbolCount;
    model.UpdateModel(s);
    ++weights[s];
    ++root;
    if (n % 5000 == 0 || n == 32454 || n == 32455) {
      SCOPED_TRACE("after " + std::to_string(n) + " symbols");
      ExpectOptimalFor(weights);
    }
    if (HasFailure()) return;
  }
  EXPECT_EQ(rebuilds, 3);
}

TEST_F(LzhModel, RepeatedRebuildsKeepACompleteCode) {
  // One symbol only: every update moves it along the same path, and the
  // rebuilds come every ~16000 symbols.
  for (int n = 0; n < 100000; ++n) {
    model.UpdateModel(300);
  }
  EXPECT_LE(model.SymbolCode(300).size(), 2u);
  std::set<std::string> codes;
  for (int s = 0; s < SymbolCount; ++s) codes.insert(model.SymbolCode(s));
  EXPECT_EQ(codes.size(), size_t{SymbolCount});
}

}  // namespace
}  // namespace stowaway
