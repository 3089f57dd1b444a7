#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

// The messages the audio callback posts to the user interface.
enum TAudioMessageId : std::uint32_t {
  WM_BANDLEVELS_READY = 0x464,  // band levels of the measured channel (WParam) are in BandLevels
  WM_ROOM_RECORDING_DONE = 0x465,  // the room recording, tail included, is complete
  WM_GENERATOR_SWEEP_ENDED = 0x466,  // a generator sweep has ended
  WM_ROOM_LEVEL_METER = 0x467,  // one block of a room sweep was played and recorded
};

struct TAudioMessage {
  std::uint32_t Msg = 0;
  std::int32_t WParam = 0;  // 0x464: the channel whose levels arrived; otherwise 0
  std::int32_t LParam = 0;
};

// Fixed-size, lock-free queue from exactly one producer (the audio callback) to exactly one consumer
// (the user-interface thread). Post never blocks, locks or allocates: a full queue drops the message
// and counts it. Every post also adds to an eventfd, so the consumer can sleep in poll()/select() or
// watch the descriptor with a QSocketNotifier and drain the queue when it becomes readable.
class TAudioMessageQueue {
public:
  static constexpr std::size_t Capacity = 1024;  // a power of two

  TAudioMessageQueue();
  ~TAudioMessageQueue();
  TAudioMessageQueue(const TAudioMessageQueue&) = delete;
  TAudioMessageQueue& operator=(const TAudioMessageQueue&) = delete;

  // Producer side (audio thread). Returns false when the queue was full and the message was dropped.
  bool Post(std::uint32_t Msg, std::int32_t WParam = 0, std::int32_t LParam = 0) noexcept;

  // Consumer side. Pop returns the oldest message, or nothing when the queue is empty.
  std::optional<TAudioMessage> Pop() noexcept;
  // The descriptor that becomes readable when messages were posted; -1 if none could be made (the
  // queue still works, the consumer then has to poll it).
  int WakeupFd() const noexcept { return FEventFd; }
  // Clears the descriptor's readable state. Call before draining the queue with Pop.
  void AcknowledgeWakeup() noexcept;
  // Sleeps until the descriptor is readable or the timeout passes; true when readable.
  bool WaitForMessages(int TimeoutMs) const noexcept;

  std::uint64_t DroppedCount() const noexcept { return FDropped.load(std::memory_order_relaxed); }
  // Consumer side, only while the producer is idle: forget everything still queued.
  void Clear() noexcept;

private:
  std::array<TAudioMessage, Capacity> FRing{};
  alignas(64) std::atomic<std::size_t> FHead{0};  // next slot the producer writes
  alignas(64) std::atomic<std::size_t> FTail{0};  // next slot the consumer reads
  alignas(64) std::atomic<std::uint64_t> FDropped{0};
  int FEventFd = -1;
};
