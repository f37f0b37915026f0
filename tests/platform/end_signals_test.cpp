// Ending signals delivered through the event loop: each of the three signals reaches the
// callback from the loop, signals raised before the loop runs are all kept, the handlers that
// were there before come back, and the callback may delete the watch.
#include <signal.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "platform/end_signals.h"

namespace {

using plenova::platform::EndSignalWatch;

// Lets the event loop run until `done` holds or two seconds passed; whether it held.
template <typename Condition>
bool RunLoopUntil(Condition done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 2000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(EndSignalWatchTest, EachEndingSignalReachesTheCallbackFromTheEventLoop) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        std::vector<int> seen;
        EndSignalWatch watch([&](int n) { seen.push_back(n); });
        ASSERT_EQ(::raise(number), 0);
        // The handler itself only takes note; the callback waits for the loop.
        EXPECT_TRUE(seen.empty()) << number;
        ASSERT_TRUE(RunLoopUntil([&] { return !seen.empty(); })) << number;
        EXPECT_EQ(seen, std::vector<int>{number});
    }
}

TEST(EndSignalWatchTest, SignalsBeforeTheLoopRunsAreAllReportedInOrder) {
    std::vector<int> seen;
    EndSignalWatch watch([&](int n) { seen.push_back(n); });
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<int>{SIGHUP, SIGTERM}));
}

volatile sig_atomic_t previousHandlerRan = 0;
extern "C" void PreviousHandler(int) { previousHandlerRan = 1; }

TEST(EndSignalWatchTest, TheHandlersFromBeforeComeBackAndOnlyOneWatchAtATime) {
    struct sigaction mine {};
    mine.sa_handler = PreviousHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGTERM, &mine, &original), 0);
    {
        EndSignalWatch watch([](int) {});
        EXPECT_THROW(EndSignalWatch second([](int) {}), std::logic_error);
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_EQ(previousHandlerRan, 0);
    }
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_EQ(previousHandlerRan, 1);
    ::sigaction(SIGTERM, &original, nullptr);
    // Once the first is gone, a new watch can be made.
    EXPECT_NO_THROW(EndSignalWatch again([](int) {}));
}

TEST(EndSignalWatchTest, TheCallbackMayDeleteTheWatch) {
    int calls = 0;
    std::unique_ptr<EndSignalWatch> watch;
    watch = std::make_unique<EndSignalWatch>([&](int) {
        ++calls;
        watch.reset();
    });
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return watch == nullptr; }));
    // Both reports were read before the first call: the second still reaches the copy.
    EXPECT_EQ(calls, 2);
}

}  // namespace
