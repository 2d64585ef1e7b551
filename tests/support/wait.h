#pragma once
// Waiting and recording for tests that watch other threads: polling for a
// condition with a deadline, and a thread-safe record of what callbacks saw.
// Header only; needs no X server.

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace test_support {

using namespace std::chrono_literals;

// Polls pred every 2 ms until it holds or the timeout passes.
template <typename Pred>
bool wait_until(Pred pred, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Thread-safe record of what callbacks saw (they run on the event thread).
template <typename T>
class recorder {
public:
    void add(const T& value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values.push_back(value);
    }
    std::vector<T> values()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_values;
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_values.size();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<T> m_values;
};

} // namespace test_support
