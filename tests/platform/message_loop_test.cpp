#include <gtest/gtest.h>
#include <poll.h>

#include <thread>
#include <vector>

#include "platform/MessageLoop.h"

namespace {

using platform::MessageLoop;
using platform::MessageTarget;

struct Recorder final : MessageTarget {
    std::vector<uint32_t> messages;
    std::vector<uintptr_t> params;
    void handleMessage(uint32_t message, uintptr_t p1, uintptr_t) override {
        messages.push_back(message);
        params.push_back(p1);
    }
};

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(MessageLoop, DispatchesInPostingOrderOneAtATime) {
    MessageLoop loop;
    Recorder a, b;
    const auto ida = loop.registerTarget(&a);
    const auto idb = loop.registerTarget(&b);
    loop.post(ida, 1);
    loop.post(idb, 2);
    loop.post(ida, 3);
    EXPECT_EQ(loop.pending(), 3u);
    EXPECT_TRUE(loop.dispatchOne());
    EXPECT_EQ(a.messages, (std::vector<uint32_t>{1}));
    EXPECT_EQ(loop.pump(), 2);
    EXPECT_EQ(a.messages, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(b.messages, (std::vector<uint32_t>{2}));
    EXPECT_FALSE(loop.dispatchOne());
}

TEST(MessageLoop, RetiredTargetNeverReceivesLateMessagesEvenWhenItsSlotIsReused) {
    MessageLoop loop;
    Recorder old, fresh;
    const auto oldId = loop.registerTarget(&old);
    loop.post(oldId, 7);
    loop.unregisterTarget(oldId);
    const auto freshId = loop.registerTarget(&fresh);
    EXPECT_NE(oldId, freshId);
    loop.post(oldId, 8);  // e.g. a driver thread that has not yet seen the close
    loop.post(freshId, 9);
    loop.pump();
    EXPECT_TRUE(old.messages.empty());
    EXPECT_EQ(fresh.messages, (std::vector<uint32_t>{9}));
    EXPECT_EQ(loop.targetCount(), 1u);
}

TEST(MessageLoop, WakeDescriptorSignalsPendingMessagesAndClearsWhenDrained) {
    MessageLoop loop;
    Recorder r;
    const auto id = loop.registerTarget(&r);
    EXPECT_FALSE(readable(loop.wakeFd()));
    loop.post(id, 1);
    loop.post(id, 2);
    EXPECT_TRUE(readable(loop.wakeFd()));
    loop.dispatchOne();
    EXPECT_TRUE(readable(loop.wakeFd()));
    loop.dispatchOne();
    EXPECT_FALSE(readable(loop.wakeFd()));
}

TEST(MessageLoop, PostsFromManyThreadsKeepEachThreadsOrderAndLoseNothing) {
    MessageLoop loop;
    Recorder r;
    const auto id = loop.registerTarget(&r);
    constexpr int kThreads = 4, kEach = 5000;  // more than the initial ring: it must grow in order
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) loop.post(id, static_cast<uint32_t>(t), i);
        });
    for (auto& th : threads) th.join();
    loop.pump();
    ASSERT_EQ(r.messages.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<uintptr_t> next(kThreads, 0);
    for (size_t k = 0; k < r.messages.size(); ++k) EXPECT_EQ(r.params[k], next[r.messages[k]]++);
}

}  // namespace
