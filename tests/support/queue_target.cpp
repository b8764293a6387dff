#include "tests/support/queue_target.h"

#include "platform/codepage.h"

void QueueTarget::Push(LinkEvent event) {
    event.at = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
    m_changed.notify_all();
}

void QueueTarget::PostLinkReply(std::vector<uint8_t> reply) {
    Push({LinkEvent::Reply, std::move(reply), {}, 0, {}});
}

void QueueTarget::PostLinkStatus(std::string textCp1251) {
    Push({LinkEvent::Status, {}, Cp1251ToUtf8(textCp1251), 0, {}});
}

void QueueTarget::RunMessageBox(std::string textCp1251, int style) {
    std::unique_lock lock(m_mutex);
    ++m_nBoxesShown;
    m_events.push_back({LinkEvent::Box, {}, Cp1251ToUtf8(textCp1251), style,
                        std::chrono::steady_clock::now()});
    m_changed.notify_all();
    const int releases = m_nReleases;
    m_changed.wait(lock, [&] { return !m_bHoldBoxes || m_nReleases != releases; });
}

std::optional<LinkEvent> QueueTarget::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [&] { return !m_events.empty(); }))
        return std::nullopt;
    LinkEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

std::optional<LinkEvent> QueueTarget::WaitFor(LinkEvent::Kind kind, const std::string& textUtf8,
                                              std::chrono::milliseconds timeout,
                                              std::vector<LinkEvent>* pSkipped) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        auto event = Next(std::max(left, std::chrono::milliseconds(0)));
        if (!event)
            return std::nullopt;
        if (event->kind == kind && (textUtf8.empty() || event->text == textUtf8))
            return event;
        if (pSkipped)
            pSkipped->push_back(std::move(*event));
    }
}

void QueueTarget::HoldBoxes(bool hold) {
    std::lock_guard lock(m_mutex);
    m_bHoldBoxes = hold;
    m_changed.notify_all();
}

void QueueTarget::ReleaseBoxes() {
    std::lock_guard lock(m_mutex);
    ++m_nReleases;
    m_changed.notify_all();
}

int QueueTarget::BoxesShown() const {
    std::lock_guard lock(m_mutex);
    return m_nBoxesShown;
}
