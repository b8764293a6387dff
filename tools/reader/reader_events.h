// The reader's event queue: the link worker posts, the main thread waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct ReaderEvent {
    enum Kind { Reply, Status, Box, Interrupt } kind = Reply;
    std::vector<uint8_t> bytes; // Reply: the reply (empty: given up, no answer)
    std::string text;           // Status and Box: Windows-1251
};

class ReaderEventQueue {
public:
    void Push(ReaderEvent event) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_changed.notify_one();
    }

    // The next event, or nothing when none came within timeout.
    std::optional<ReaderEvent> Pop(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return !m_events.empty(); }))
            return std::nullopt;
        ReaderEvent event = std::move(m_events.front());
        m_events.pop_front();
        return event;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ReaderEvent> m_events;
};
