#include "audio/TAudioMessageQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(AudioMessageQueue, DeliversInOrderAndWakesTheReader) {
  TAudioMessageQueue q;
  ASSERT_GE(q.WakeupFd(), 0);
  EXPECT_FALSE(q.WaitForMessages(0));
  EXPECT_FALSE(q.Pop().has_value());
  EXPECT_TRUE(q.Post(WM_ROOM_LEVEL_METER));
  EXPECT_TRUE(q.Post(WM_ROOM_RECORDING_DONE, 7, -3));
  EXPECT_TRUE(q.WaitForMessages(0));
  q.AcknowledgeWakeup();
  auto a = q.Pop();
  auto b = q.Pop();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Msg, 0x467u);
  EXPECT_EQ(b->Msg, 0x465u);
  EXPECT_EQ(b->WParam, 7);
  EXPECT_EQ(b->LParam, -3);
  EXPECT_FALSE(q.Pop().has_value());
  // Acknowledged and drained: nothing wakes the reader any more.
  EXPECT_FALSE(q.WaitForMessages(0));
}

TEST(AudioMessageQueue, FullQueueDropsAndCountsInsteadOfBlocking) {
  TAudioMessageQueue q;
  for (std::size_t i = 0; i < TAudioMessageQueue::Capacity; ++i) {
    ASSERT_TRUE(q.Post(WM_BANDLEVELS_READY, static_cast<std::int32_t>(i)));
  }
  EXPECT_FALSE(q.Post(WM_GENERATOR_SWEEP_ENDED));
  EXPECT_FALSE(q.Post(WM_GENERATOR_SWEEP_ENDED));
  EXPECT_EQ(q.DroppedCount(), 2u);
  // The oldest messages are kept, the dropped ones are gone.
  for (std::size_t i = 0; i < TAudioMessageQueue::Capacity; ++i) {
    auto m = q.Pop();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->WParam, static_cast<std::int32_t>(i));
  }
  EXPECT_FALSE(q.Pop().has_value());
  EXPECT_TRUE(q.Post(WM_GENERATOR_SWEEP_ENDED));
}

TEST(AudioMessageQueue, ProducerThreadAndConsumerLoseNothing) {
  TAudioMessageQueue q;
  constexpr int count = 20000;
  std::thread producer([&] {
    for (int i = 0; i < count; ++i) {
      while (!q.Post(WM_BANDLEVELS_READY, i)) std::this_thread::yield();
    }
  });
  std::vector<int> got;
  got.reserve(count);
  while (static_cast<int>(got.size()) < count) {
    q.WaitForMessages(100);
    q.AcknowledgeWakeup();
    while (auto m = q.Pop()) got.push_back(m->WParam);
  }
  producer.join();
  for (int i = 0; i < count; ++i) ASSERT_EQ(got[static_cast<std::size_t>(i)], i);
}
