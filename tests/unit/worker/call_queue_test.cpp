#include "worker/call_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

namespace tramolin {
namespace {

TEST(CallQueueTest, CallsFromOtherThreadsRunOnTheQueuesThreadOnceEachInTheOrderOfEachThread) {
  CallQueue queue;
  constexpr int kThreads = 3;
  constexpr int kCalls = 200;
  std::vector<std::vector<int>> seen(kThreads);
  bool all_on_this_thread = true;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        queue.Post([&, t, i] {
          all_on_this_thread &= QThread::currentThread() == queue.thread();
          seen[t].push_back(i);
        });
      }
    });
  }
  for (std::thread& poster : posters) poster.join();
  QCoreApplication::processEvents();
  EXPECT_TRUE(all_on_this_thread);
  for (const std::vector<int>& calls : seen) {
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(calls[i], i);
  }
}

TEST(CallQueueTest, CallsStillWaitingGoWithTheQueueWithoutRunning) {
  auto captured = std::make_shared<int>(0);
  bool ran = false;
  {
    CallQueue queue;
    queue.Post([captured, &ran] { ran = true; });
  }
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  EXPECT_EQ(captured.use_count(), 1);
}

}  // namespace
}  // namespace tramolin
