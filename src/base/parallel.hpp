// Work spread over the machine's cores. Every parallel loop of the program
// splits its work into parts fixed by the data alone, never by the number of
// threads, and combines partial results in the order of the parts, so the
// listing is the same for every thread count.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace telva {

// The machine's hardware threads, or the number (1 to 256) that the
// environment variable TELVA_THREADS holds.
int threadCount();

// Calls work(i) for every i in [0, count), on up to `threads` threads
// (threadCount() when 0); each i is done by exactly one thread, in no
// particular order.
template <typename Work> void parallelFor(int count, Work&& work, int threads = 0) {
  threads = std::min(threads > 0 ? threads : threadCount(), count);
  if (threads <= 1) {
    for (int i = 0; i < count; ++i)
      work(i);
    return;
  }
  std::atomic<int> next{0};
  auto worker = [&] {
    for (int i = next++; i < count; i = next++)
      work(i);
  };
  std::vector<std::jthread> pool;
  for (int t = 1; t < threads; ++t)
    pool.emplace_back(worker);
  worker();
}

// Calls work(i) for every i in [0, count), in blocks of `block` consecutive
// indices, each block done by one thread in increasing i: many small items
// (points, sites) as few parts of work.
template <typename Work>
void parallelForBlocks(std::size_t count, std::size_t block, Work&& work, int threads = 0) {
  const int blocks = static_cast<int>((count + block - 1) / block);
  parallelFor(
      blocks,
      [&](int b) {
        const std::size_t end = std::min(count, std::size_t(b + 1) * block);
        for (std::size_t i = std::size_t(b) * block; i < end; ++i)
          work(i);
      },
      threads);
}

} // namespace telva
