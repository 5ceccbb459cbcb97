#pragma once
// An auto-reset event on std::mutex and std::condition_variable: Set() leaves
// it signalled until one waiter takes the signal, so a signal given before the
// waiter starts waiting is kept. Display-free.

#include <chrono>
#include <condition_variable>
#include <mutex>

class CQvlEvent {
public:
    // Signals the event; it stays signalled until one Wait takes it or Reset.
    void Set()
    {
        {
            std::lock_guard<std::mutex> lock(m_mtx);
            m_bSignalled = true;
        }
        m_cv.notify_one();
    }

    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_bSignalled = false;
    }

    // Waits until the event is signalled (and takes the signal) or until the
    // time has passed. Returns true when signalled.
    bool Wait(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mtx);
        if (!m_cv.wait_for(lock, timeout, [&] { return m_bSignalled; }))
            return false;
        m_bSignalled = false;
        return true;
    }

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    bool m_bSignalled = false;
};
