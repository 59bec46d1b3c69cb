#include "base/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace telva {
namespace {

// Every index once, whatever the count's place against the block and the
// number of threads: the edges where a block loop loses or repeats one.
TEST(ParallelForBlocks, VisitsEveryIndexOnce) {
  struct Case {
    std::size_t count, block;
    int threads;
  };
  const Case cases[] = {{0, 4, 2}, {1, 4, 2},    {3, 4, 1},      {4, 4, 2},     {5, 4, 3},
                        {8, 4, 2}, {1000, 7, 2}, {1000, 256, 4}, {255, 256, 2}, {257, 256, 2}};
  for (const Case& c : cases) {
    std::vector<std::atomic<int>> visits(c.count);
    parallelForBlocks(
        c.count, c.block, [&](std::size_t i) { ++visits[i]; }, c.threads);
    for (std::size_t i = 0; i < c.count; ++i)
      EXPECT_EQ(visits[i].load(), 1)
          << "count " << c.count << " block " << c.block << " index " << i;
  }
}

// Within a block the indices come in increasing order on one thread, so a
// block's sums are the same for every thread count.
TEST(ParallelForBlocks, KeepsOrderWithinABlock) {
  constexpr std::size_t count = 1000, block = 64;
  std::vector<std::size_t> previous((count + block - 1) / block, 0);
  std::vector<int> outOfOrder(previous.size(), 0);
  parallelForBlocks(
      count, block,
      [&](std::size_t i) {
        std::size_t& last = previous[i / block];
        if (i % block != 0 && i != last + 1) ++outOfOrder[i / block];
        last = i;
      },
      2);
  for (std::size_t b = 0; b < previous.size(); ++b)
    EXPECT_EQ(outOfOrder[b], 0) << "block " << b;
}

} // namespace
} // namespace telva
