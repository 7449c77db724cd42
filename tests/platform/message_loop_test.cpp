#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"
#include "support/CountingNew.h"

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
    EXPECT_EQ(loop.dispatched(), 3u) << "messages to a retired target count as dispatched";
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
    loop.post(id, 3);  // the ring has wrapped past these slots before: still signalled
    EXPECT_TRUE(readable(loop.wakeFd()));
}

// --- A fixed ring
// ---------------------------------------------------------------------------------

TEST(MessageLoop, AFullRingRefusesAndCountsWhatItDropsAndKeepsWhatItHolds) {
    // The capacity asked for is a floor; the ring holds exactly capacity() messages.
    for (size_t asked : {1u, 3u, 4u, 100u}) {
        SCOPED_TRACE(asked);
        MessageLoop loop(asked);
        Recorder r;
        const auto id = loop.registerTarget(&r);
        const size_t capacity = loop.capacity();
        ASSERT_GE(capacity, asked);
        for (size_t i = 0; i < capacity; ++i) ASSERT_TRUE(loop.post(id, 1, i)) << i;
        EXPECT_FALSE(loop.post(id, 2));
        EXPECT_FALSE(loop.post(id, 3));
        EXPECT_EQ(loop.dropped(), 2u);
        EXPECT_EQ(loop.pending(), capacity);
        EXPECT_EQ(loop.pump(), static_cast<int>(capacity));
        for (size_t i = 0; i < capacity; ++i) ASSERT_EQ(r.params[i], i);
        // Room again, around the ring.
        for (size_t i = 0; i < capacity; ++i) ASSERT_TRUE(loop.post(id, 4, i)) << i;
        EXPECT_EQ(loop.pump(), static_cast<int>(capacity));
        EXPECT_EQ(loop.dropped(), 2u);
        EXPECT_EQ(loop.dispatched(), 2 * capacity) << "dropped messages are not dispatched";
    }
}

TEST(MessageLoop, PostsFromManyThreadsKeepEachThreadsOrderAndLoseNothingThatFits) {
    constexpr int kThreads = 4, kEach = 5000;
    MessageLoop loop(kThreads * kEach);
    Recorder r;
    const auto id = loop.registerTarget(&r);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) loop.post(id, static_cast<uint32_t>(t), i);
        });
    for (auto& th : threads) th.join();
    loop.pump();
    ASSERT_EQ(r.messages.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(loop.dropped(), 0u);
    std::vector<uintptr_t> next(kThreads, 0);
    for (size_t k = 0; k < r.messages.size(); ++k) EXPECT_EQ(r.params[k], next[r.messages[k]]++);
}

// Posting threads and the dispatching thread racing around a small ring: every message is either
// delivered, in its thread's order, or counted as dropped.
TEST(MessageLoop, ARingSmallerThanTheTrafficDeliversInOrderOrCountsTheDrop) {
    constexpr int kThreads = 3, kEach = 20000;
    MessageLoop loop(64);
    Recorder r;
    const auto id = loop.registerTarget(&r);
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) loop.post(id, static_cast<uint32_t>(t), i);
            --running;
        });
    while (running > 0) {
        pollfd p{loop.wakeFd(), POLLIN, 0};
        ::poll(&p, 1, 10);
        loop.pump();
    }
    for (auto& th : threads) th.join();
    loop.pump();
    EXPECT_EQ(r.messages.size() + loop.dropped(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(loop.pending(), 0u);
    std::vector<long> last(kThreads, -1);
    for (size_t k = 0; k < r.messages.size(); ++k) {
        ASSERT_GT(static_cast<long>(r.params[k]), last[r.messages[k]]) << k;
        last[r.messages[k]] = static_cast<long>(r.params[k]);
    }
}

TEST(MessageLoop, PostingAndDispatchingAllocateNothing) {
    MessageLoop loop(16);
    Recorder r;
    r.messages.reserve(2000);  // the recording itself must not count
    r.params.reserve(2000);
    const auto id = loop.registerTarget(&r);
    const long before = testing_support::allocationCount();
    for (int i = 0; i < 1000; ++i) {
        loop.post(id, 1, i);
        if (i % 10 == 9) loop.pump();
    }
    loop.post(id, 2);
    for (int i = 0; i < 20; ++i) loop.post(id, 3);  // beyond the ring: dropped
    loop.pump();
    EXPECT_EQ(testing_support::allocationCount() - before, 0);
}

// In a process with no descriptor left: exits with 0 when the loop refuses to be made, saying why.
// Only the soft limit is lowered, and it is given back before the outcome is looked at. Sanitizer
// runtimes need descriptors of their own the first time they check an object of a type, so one
// system_error is made beforehand, while there are some.
[[noreturn]] void makeALoopWithoutDescriptors() {
    const std::system_error first(EMFILE, std::generic_category(), "eventfd");
    rlimit saved{};
    if (first.code().value() != EMFILE || getrlimit(RLIMIT_NOFILE, &saved) != 0) std::_Exit(2);
    const rlimit none{0, saved.rlim_max};
    if (setrlimit(RLIMIT_NOFILE, &none) != 0) std::_Exit(2);
    try {
        MessageLoop loop;
    } catch (const std::system_error& e) {
        setrlimit(RLIMIT_NOFILE, &saved);
        std::fputs(e.what(), stderr);
        std::_Exit(e.code().value() == EMFILE ? 0 : 3);
    }
    std::_Exit(4);
}

// Without a wake-up descriptor the UI would never hear of a message; the loop says why instead of
// handing out descriptor -1. In a child process, whose descriptors can be used up without harm.
TEST(MessageLoop, AWakeDescriptorThatCannotBeMadeIsAnErrorNamingEventfd) {
    EXPECT_EXIT(makeALoopWithoutDescriptors(), ::testing::ExitedWithCode(0),
                "eventfd.*Too many open files");
}

}  // namespace
