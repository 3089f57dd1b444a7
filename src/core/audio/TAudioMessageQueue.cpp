#include "audio/TAudioMessageQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

TAudioMessageQueue::TAudioMessageQueue() { FEventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

TAudioMessageQueue::~TAudioMessageQueue() {
  if (FEventFd >= 0) close(FEventFd);
}

bool TAudioMessageQueue::Post(std::uint32_t Msg, std::int32_t WParam, std::int32_t LParam) noexcept {
  const std::size_t head = FHead.load(std::memory_order_relaxed);
  const std::size_t tail = FTail.load(std::memory_order_acquire);
  if (head - tail >= Capacity) {
    FDropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  FRing[head & (Capacity - 1)] = TAudioMessage{Msg, WParam, LParam};
  FHead.store(head + 1, std::memory_order_release);
  if (FEventFd >= 0) {
    // Non-blocking: the counter only saturates after 2^64 - 2 unacknowledged posts.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(FEventFd, &one, sizeof one);
  }
  return true;
}

std::optional<TAudioMessage> TAudioMessageQueue::Pop() noexcept {
  const std::size_t tail = FTail.load(std::memory_order_relaxed);
  const std::size_t head = FHead.load(std::memory_order_acquire);
  if (tail == head) return std::nullopt;
  const TAudioMessage m = FRing[tail & (Capacity - 1)];
  FTail.store(tail + 1, std::memory_order_release);
  return m;
}

void TAudioMessageQueue::AcknowledgeWakeup() noexcept {
  if (FEventFd < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(FEventFd, &count, sizeof count);
}

bool TAudioMessageQueue::WaitForMessages(int TimeoutMs) const noexcept {
  if (FHead.load(std::memory_order_acquire) != FTail.load(std::memory_order_relaxed)) return true;
  if (FEventFd < 0) return false;
  pollfd p{FEventFd, POLLIN, 0};
  return poll(&p, 1, TimeoutMs) > 0;
}

void TAudioMessageQueue::Clear() noexcept {
  AcknowledgeWakeup();
  FTail.store(FHead.load(std::memory_order_acquire), std::memory_order_release);
}
