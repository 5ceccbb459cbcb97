#pragma once
// Waiting in a test for what another thread or process does: the condition is
// checked again every few milliseconds up to a bound, so the test takes as
// long as the work and fails, rather than hangs, when it never happens.

#include <chrono>
#include <thread>

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds bound = std::chrono::seconds(20),
             std::chrono::milliseconds step = std::chrono::milliseconds(5))
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}
