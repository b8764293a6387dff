// What the link worker posts to the dialog, as queued Qt events handled on
// the GUI thread. Each event owns its copy of the bytes.
#pragma once

#include <QEvent>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// A Windows-1251 text of the link (up to its first NUL) as a QString.
QString FromCp1251(const std::string& textCp1251);

struct LinkEventTypes {
    static QEvent::Type Reply();
    static QEvent::Type Status();
    static QEvent::Type Box();
    static QEvent::Type Cursor();
};

class LinkReplyEvent : public QEvent {
public:
    explicit LinkReplyEvent(std::vector<uint8_t> reply)
        : QEvent(LinkEventTypes::Reply()), m_reply(std::move(reply)) {}
    std::vector<uint8_t> m_reply;
};

class LinkStatusEvent : public QEvent {
public:
    explicit LinkStatusEvent(std::string textCp1251)
        : QEvent(LinkEventTypes::Status()), m_szText(std::move(textCp1251)) {}
    std::string m_szText;
};

// A worker's message box waits in the dialog's box slot; this only wakes the
// GUI thread to show it.
class WorkerBoxEvent : public QEvent {
public:
    WorkerBoxEvent() : QEvent(LinkEventTypes::Box()) {}
};

class WaitCursorEvent : public QEvent {
public:
    explicit WaitCursorEvent(bool bBusy) : QEvent(LinkEventTypes::Cursor()), m_bBusy(bBusy) {}
    bool m_bBusy;
};
