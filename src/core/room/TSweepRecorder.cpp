#include "room/TSweepRecorder.h"

#include <algorithm>

TSweepRecorder::TSweepRecorder(std::int32_t SweepLength)
    : FBuffer(static_cast<std::size_t>(std::max<std::int32_t>(SweepLength, 0)), 0.0f),
      FLength(std::max<std::int32_t>(SweepLength, 0)) {
  Reset();
}

void TSweepRecorder::Reset() {
  std::fill(FBuffer.begin(), FBuffer.end(), 0.0f);
  FWriteIndex.store(0, std::memory_order_release);
}

void TSweepRecorder::ProcessASIOBlock(std::span<const float> Block) {
  // Only the audio thread writes the index, so a relaxed read of its own last value is enough; the
  // release store publishes the samples together with the new index.
  const std::int32_t start = FWriteIndex.load(std::memory_order_relaxed);
  const std::size_t room = static_cast<std::size_t>(FLength - start);
  const std::size_t count = std::min(room, Block.size());
  std::copy_n(Block.begin(), count, FBuffer.begin() + start);
  FWriteIndex.store(start + static_cast<std::int32_t>(count), std::memory_order_release);
}
