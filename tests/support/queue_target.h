// A LinkNotifyTarget for tests: every post and box becomes an event in a
// queue that the test thread waits on. Boxes are dismissed at once unless the
// test holds them, in which case they wait for ReleaseBoxes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/link_target.h"

struct LinkEvent {
    enum Kind { Reply, Status, Box } kind;
    std::vector<uint8_t> bytes; // Reply: the reply bytes (empty: no answer)
    std::string text;           // Status and Box: the text in UTF-8
    int style = 0;              // Box: its style
    std::chrono::steady_clock::time_point at;
};

class QueueTarget : public LinkNotifyTarget {
public:
    void PostLinkReply(std::vector<uint8_t> reply) override;
    void PostLinkStatus(std::string textCp1251) override;
    void RunMessageBox(std::string textCp1251, int style) override;

    // The next event, or nothing when none came within timeout.
    std::optional<LinkEvent> Next(std::chrono::milliseconds timeout);
    // Takes events until one of this kind (and text, when given) arrives;
    // the skipped ones are appended to *pSkipped when given.
    std::optional<LinkEvent> WaitFor(LinkEvent::Kind kind, const std::string& textUtf8,
                                     std::chrono::milliseconds timeout,
                                     std::vector<LinkEvent>* pSkipped = nullptr);

    void HoldBoxes(bool hold);
    void ReleaseBoxes();
    int BoxesShown() const;

private:
    void Push(LinkEvent event);
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<LinkEvent> m_events;
    bool m_bHoldBoxes = false;
    int m_nReleases = 0;
    int m_nBoxesShown = 0;
};
