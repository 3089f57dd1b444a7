#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// The fixed-length recording buffer of a room measurement. The audio callback appends the measured
// input block by block; the rest of a block that does not fit any more is dropped. The buffer is
// allocated once at creation, so appending never allocates and never locks.
//
// Threads: ProcessASIOBlock runs on the audio thread only. The user-interface thread creates, resets and
// replaces the recorder only while the stream is stopped, and reads the buffer after the callback has
// reported the recording complete. WriteIndex() may be polled at any time (for example for progress).
class TSweepRecorder {
public:
  // Capacity in samples; a negative length counts as 0. The buffer starts zeroed.
  explicit TSweepRecorder(std::int32_t SweepLength);

  TSweepRecorder(const TSweepRecorder&) = delete;
  TSweepRecorder& operator=(const TSweepRecorder&) = delete;

  // Zeroes all samples and starts writing at sample 0 again.
  void Reset();

  // Appends the samples of Block in order; what does not fit any more is dropped silently.
  void ProcessASIOBlock(std::span<const float> Block);

  // All FLength samples, including the never-written zeros after FWriteIndex.
  const std::vector<float>& GetBuffer() const { return FBuffer; }

  // Number of samples written so far (at most Length()).
  std::int32_t WriteIndex() const { return FWriteIndex.load(std::memory_order_acquire); }
  std::int32_t Length() const { return FLength; }

private:
  std::vector<float> FBuffer;
  std::atomic<std::int32_t> FWriteIndex{0};
  std::int32_t FLength;
};
