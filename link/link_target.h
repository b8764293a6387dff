// The receiver of what the link worker reports: replies, status texts and
// the worker's modal message boxes. The dialog and the headless reader each
// implement it; tests implement it with a queue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Message numbers kept from the instrument's original host program, so logs
// and tests can speak of the two notifications by name.
constexpr unsigned WM_USER = 0x400;
constexpr unsigned WM_LINK_REPLY = WM_USER + 5;
constexpr unsigned WM_LINK_STATUS = WM_USER + 6;

// Styles of the worker's message boxes.
constexpr int MB_OK = 0x00;
constexpr int MB_ICONERROR = 0x10;

class LinkNotifyTarget {
public:
    virtual ~LinkNotifyTarget() = default;

    // WM_LINK_REPLY. Called on the worker thread; must only queue and return.
    // The vector is the post's own copy of the reply bytes; empty means the
    // request was given up (no answer).
    virtual void PostLinkReply(std::vector<uint8_t> reply) = 0;

    // WM_LINK_STATUS. Called on the worker thread; must only queue and return.
    // The text is the post's own copy, in Windows-1251.
    virtual void PostLinkStatus(std::string textCp1251) = 0;

    // Shows a modal box on behalf of the worker and returns once the user has
    // dismissed it. Called on the worker thread, which waits meanwhile.
    virtual void RunMessageBox(std::string textCp1251, int style) = 0;

    // Called again and again on the thread that runs InstrumentLink::Stop while
    // it waits for the worker to end, so a box the worker is waiting on can be
    // shown on that thread even though its event loop is blocked in Stop.
    virtual void ServeWhileStopping() {}

    // The port search is running (true) or has ended (false). Worker thread.
    virtual void SetWaitCursor(bool /*busy*/) {}
};
