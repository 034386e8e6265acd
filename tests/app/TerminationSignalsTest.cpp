#include "app/TerminationSignals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <csignal>

namespace {

bool readable(int descriptor) {
    pollfd watched{descriptor, POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1;
}

TEST(TerminationSignalsTest, EveryRequestToEndReachesTheLoopAndAFloodNeverBlocksTheHandler) {
    {
        TerminationSignals signals;
        ASSERT_TRUE(signals.isWatching());
        std::raise(SIGPIPE);
        // More requests than the pipe holds, none taken: a handler that waited for room
        // would wait for good, and the alarm would end the test.
        ::alarm(60);
        for (int round = 0; round < 30000; ++round) {
            for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
                std::raise(signalNumber);
            }
        }
        ::alarm(0);
        EXPECT_TRUE(readable(signals.watchedDescriptor()));
        signals.drain();
        EXPECT_FALSE(readable(signals.watchedDescriptor()));
    }
    // Once the teardown is over a request changes nothing any more.
    std::raise(SIGINT);
}

} // namespace
