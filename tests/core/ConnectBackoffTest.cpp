#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ConnectBackoff.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The seconds between a failure and the next attempt allowed, for each of
// the first n failures on one port; -1 for an attempt not allowed within ten
// minutes (and then no more).
std::vector<long long> Delays(ConnectBackoff& backoff, const std::vector<std::wstring>& ports, int nFailures)
{
    std::vector<long long> delays;
    auto now = ConnectBackoff::Clock::now();
    for (int n = 0; n < nFailures; ++n) {
        backoff.Failed(now);
        auto next = now;
        while (!backoff.MayAttempt(ports, next) && next - now < std::chrono::minutes(10))
            next += milliseconds(250);
        if (!backoff.MayAttempt(ports, next)) {
            delays.push_back(-1);
            break;
        }
        delays.push_back(std::chrono::duration_cast<seconds>(next - now).count());
        now = next;
    }
    return delays;
}

} // namespace

TEST(ConnectBackoff, ThreeQuickRetriesThenDoublingUpToThirtySeconds)
{
    const std::vector<std::wstring> ports = {L"/dev/ttyACM0"};
    ConnectBackoff backoff;
    ASSERT_TRUE(backoff.MayAttempt(ports, ConnectBackoff::Clock::now()));
    EXPECT_EQ(Delays(backoff, ports, 9), (std::vector<long long>{0, 0, 2, 4, 8, 16, 30, 30, 30}));
}

TEST(ConnectBackoff, StartsOverWhenThePortsChange)
{
    const std::vector<std::wstring> one = {L"/dev/ttyACM0"};
    const std::vector<std::wstring> two = {L"/dev/ttyACM0", L"/dev/ttyACM1"};
    const auto now = ConnectBackoff::Clock::now();
    ConnectBackoff backoff;
    ASSERT_TRUE(backoff.MayAttempt(one, now));
    Delays(backoff, one, 5);
    EXPECT_FALSE(backoff.MayAttempt(one, ConnectBackoff::Clock::now()));
    // Another port appears.
    EXPECT_TRUE(backoff.MayAttempt(two, ConnectBackoff::Clock::now()));
    EXPECT_EQ(backoff.Failures(), 0);

    Delays(backoff, two, 5);
    // The port goes away and comes back.
    EXPECT_TRUE(backoff.MayAttempt({}, ConnectBackoff::Clock::now()));
    EXPECT_TRUE(backoff.MayAttempt(two, ConnectBackoff::Clock::now()));

    // Gone and back between two searches, told by its announcement; another
    // port's announcement changes nothing.
    Delays(backoff, two, 5);
    backoff.Arrived(L"/dev/ttyUSB0");
    EXPECT_FALSE(backoff.MayAttempt(two, ConnectBackoff::Clock::now()));
    backoff.Arrived(L"/dev/ttyACM1");
    EXPECT_TRUE(backoff.MayAttempt(two, ConnectBackoff::Clock::now()));
}
