// The link worker's request cycle: sends the request placed in the mailbox,
// takes its reply, repeats it when the reply is late and gives it up after
// four repeats. Replies carry nothing that names the request they answer, so
// after a request that went out more than once the cycle puts the exchange
// back in step before the next request (see link_worker.h), and it ends when
// the device is gone.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/line_error_box.h"
#include "link/link_worker.h"
#include "platform/codepage.h"
#include "platform/serial_port.h"

namespace {

constexpr int MAX_REPEATS = 4;     // repeats of a request before it is given up
constexpr int PASS_PAUSE_MS = 100; // longest pause of a pass that found nothing waiting
// Bytes read this recently mean that a frame is on the line (a byte takes
// 1.15 ms at 9600 baud). A reply still arriving when its time-out passes may
// finish within the line time of the longest frame (138 bytes, 160 ms).
constexpr int LINE_ACTIVE_MS = 30;
constexpr int FRAME_GRACE_MS = 200;
// After a request that went out more than once, the line counts as quiet
// when no byte came for this long (a quarter of a shorter time-out), and the
// presence frame ahead of the next request waits at most SETTLE_MAX_MS for
// that, so noise cannot hold it.
constexpr int SETTLE_QUIET_MS = 250;
constexpr int SETTLE_MAX_MS = 1000;

constexpr const char* TEXT_DISCONNECTED = " Прибор отключен.";
constexpr const char* TEXT_DISCONNECTED_BOX =
    "Связь с прибором потеряна: порт сообщил, что прибор отключен.\n"
    "Проверьте кабель и питание прибора, затем перезапустите программу.";

int QuietMs(int timeoutMs) {
    return std::clamp(timeoutMs / 4, 1, SETTLE_QUIET_MS);
}

int SettleMaxMs(int timeoutMs) {
    return std::clamp(timeoutMs, 1, SETTLE_MAX_MS);
}

bool IsPresenceEcho(const uint8_t* bytes, int length) {
    return length == static_cast<int>(sizeof PRESENCE_FRAME) &&
           std::memcmp(bytes, PRESENCE_FRAME, sizeof PRESENCE_FRAME) == 0;
}

} // namespace

void InstrumentLink::ServeRequests(Worker& w) {
    constexpr int capacity = ReplyGatherer::CAPACITY;
    uint8_t in[capacity];
    w.tLastByte = w.t0;
    w.nSends = 0;
    w.bOutOfStep = w.bSyncing = w.bSettling = false;
    while (Running()) {
        w.E = m_hPort->LineErrors();
        w.W = m_hPort->BytesWaiting();
        if (m_hPort->HungUp()) {
            OnDeviceGone();
            return;
        }
        if (w.W > 0) {
            if (const char* text = LineErrorBoxText(w.E); text != nullptr && m_hNotifyWnd)
                m_hNotifyWnd->RunMessageBox(Utf8ToCp1251(text), MB_OK | MB_ICONERROR);
            if (w.gatherer.Count() + w.W > capacity) {
                w.gatherer.Clear();
                if (w.W <= capacity)
                    continue; // the waiting bytes are taken whole by the next pass
                // More is waiting than any frame can hold, so no frame can be
                // recognised in it. Left in the queue it would end every pass
                // here for good; discard it and go on serving time-outs and requests.
                for (int left = w.W; left > 0;) {
                    const int n = m_hPort->Read(in, std::min(left, capacity));
                    if (n <= 0)
                        break;
                    left -= n;
                }
                w.tLastByte = NowMs();
            } else {
                const int n = m_hPort->Read(in, w.W);
                w.tLastByte = NowMs();
                w.gatherer.Append(in, n);
                if (w.gatherer.Examine() != GatherVerdict::Accepted)
                    continue; // incomplete, or dropped: either way the pass ends here
                TakeFrame(w);
                w.gatherer.Clear();
            }
        }
        CheckTimeOut(w, NowMs());
        Transmit(w, NowMs());
        if (w.W == 0)
            AwaitInput(NextWaitMs(w, NowMs()));
    }
}

bool InstrumentLink::TakeFrame(Worker& w) {
    const uint8_t* bytes = w.gatherer.Bytes();
    const int length = bytes[1]; // accepted: 2 .. Count()
    const bool bAwaiting = m_bAwaitingReply.load(std::memory_order_acquire) != 0;
    if (w.bOutOfStep) {
        // Replies come in the order of the requests, so once the echo is in
        // no copy of an earlier request can follow: the request goes out.
        if (bAwaiting && w.bSyncing && IsPresenceEcho(bytes, length)) {
            // Back in step: the request gets its own sends and repeats.
            w.bOutOfStep = w.bSyncing = false;
            w.nSends = 1;
            w.r = 0;
            SendRequestFrame(w);
            m_nLinkState.store(LINK_SENT, std::memory_order_release);
            return false;
        }
        // A late copy of the reply to the request before. One that comes
        // while the presence frame waits shows that the instrument is still
        // answering the sends before it: the frame's time-out starts again.
        if (w.nCopiesLeft > 0) {
            --w.nCopiesLeft;
            if (bAwaiting && w.bSyncing)
                w.t0 = NowMs();
        }
        return false;
    }
    // Stray bytes on a noisy line now and then sum up to a frame. One without
    // the request's code cannot be its reply: taken as the answer, it would
    // end the wait, and the requester, finding nothing to act on, would wait
    // for good. The request stays in flight and its time-out runs on.
    if (bAwaiting && (length < 3 || bytes[2] != w.nSentCode))
        return false;
    m_nLinkState.store(LINK_READY, std::memory_order_release);
    m_bAwaitingReply.store(0, std::memory_order_release);
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->PostLinkReply(
            std::vector<uint8_t>(w.gatherer.Bytes(), w.gatherer.Bytes() + w.gatherer.Count()));
    PostStatus(" Oтвет получен.");
    // Every send before this reply answers the same request, so the reply is
    // its own whichever send it came from; those after it are still to come.
    if (bAwaiting && w.nSends > 1) {
        w.bOutOfStep = true;
        w.bSettling = true;
        w.tSettleFrom = NowMs();
        w.nCopiesLeft = w.nSends - 1;
    }
    return true;
}

void InstrumentLink::CheckTimeOut(Worker& w, int64_t now) {
    if (m_bAwaitingReply.load(std::memory_order_acquire) == 0)
        return;
    const int timeout = m_nReplyTimeout.load(std::memory_order_acquire);
    // The time-out counts from the send: stray bytes never put it off, and a
    // reply on the line when it passes only gets the time to finish.
    const int64_t since = now - w.t0;
    if (since <= timeout)
        return;
    if (w.gatherer.Count() > 0 && now - w.tLastByte < LINE_ACTIVE_MS &&
        since <= timeout + FRAME_GRACE_MS)
        return;
    w.gatherer.Clear();
    if (w.r < MAX_REPEATS) {
        m_nLinkState.store(LINK_RETRY, std::memory_order_release);
        m_bTxRequest.store(1, std::memory_order_release);
        return;
    }
    m_nLinkState.store(LINK_NO_ANSWER, std::memory_order_release);
    m_bAwaitingReply.store(0, std::memory_order_release);
    PostStatus("!!! Нет ответа");
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->PostLinkReply({});
    // Every send may still be answered late.
    w.bOutOfStep = true;
    w.bSyncing = false;
    w.bSettling = true;
    w.tSettleFrom = now;
    w.nCopiesLeft = w.nSends;
}

bool InstrumentLink::SettleOver(Worker& w, int64_t now) {
    if (!w.bSettling)
        return true;
    const int timeout = m_nReplyTimeout.load(std::memory_order_acquire);
    if (w.nCopiesLeft > 0 && now - std::max(w.tSettleFrom, w.tLastByte) < QuietMs(timeout) &&
        now - w.tSettleFrom < SettleMaxMs(timeout))
        return false;
    w.bSettling = false;
    w.gatherer.Clear();
    return true;
}

void InstrumentLink::Transmit(Worker& w, int64_t now) {
    if (m_bTxRequest.load(std::memory_order_acquire) == 0)
        return;
    const bool bRetry = m_nLinkState.load(std::memory_order_acquire) == LINK_RETRY;
    // A new request waits until the copies of the last one are in.
    if (!bRetry && !SettleOver(w, now))
        return;
    if (bRetry) {
        ++w.nSends;
        ++w.r;
    } else {
        w.nSends = 1;
        w.r = 0;
        w.bSyncing = w.bOutOfStep;
    }
    // While syncing, the presence frame goes out (and is repeated) in place
    // of the request, which follows its echo.
    if (w.bSyncing)
        SendOnce(w, PRESENCE_FRAME, sizeof PRESENCE_FRAME);
    else
        SendRequestFrame(w);
    if (bRetry) {
        char text[64];
        std::snprintf(text, sizeof text, " Повтор %d. Ожидание ответа.", w.r);
        PostStatus(text);
    } else {
        PostStatus(" Ожидание ответа.");
    }
    // The state says "sent" before the mailbox says "free": a requester that
    // finds the mailbox free then also finds the request in flight.
    m_nLinkState.store(LINK_SENT, std::memory_order_release);
    m_bTxRequest.store(0, std::memory_order_release);
}

void InstrumentLink::SendRequestFrame(Worker& w) {
    SendOnce(w, m_txBuffer,
             std::clamp<int>(m_nTxLength.load(std::memory_order_acquire), 0,
                             static_cast<int>(sizeof m_txBuffer)));
}

void InstrumentLink::SendOnce(Worker& w, const uint8_t* frame, int length) {
    w.gatherer.Clear(); // nothing gathered before the send can answer it
    w.nSentCode = length >= 3 ? frame[2] : -1;
    SendFrame(frame, length);
    m_bAwaitingReply.store(1, std::memory_order_release);
    w.t0 = NowMs();
}

int InstrumentLink::NextWaitMs(const Worker& w, int64_t now) {
    const int timeout = m_nReplyTimeout.load(std::memory_order_acquire);
    int64_t wait = PASS_PAUSE_MS;
    if (m_bAwaitingReply.load(std::memory_order_acquire) != 0) {
        const int64_t due = w.t0 + timeout + 1;
        wait = std::min(wait, now < due ? due - now : w.tLastByte + LINE_ACTIVE_MS - now);
    }
    if (w.bSettling && m_bTxRequest.load(std::memory_order_acquire) != 0)
        wait =
            std::min<int64_t>(wait, std::max(w.tSettleFrom, w.tLastByte) + QuietMs(timeout) - now);
    return static_cast<int>(std::clamp<int64_t>(wait, 1, PASS_PAUSE_MS));
}

void InstrumentLink::OnDeviceGone() {
    m_bDeviceGone.store(1, std::memory_order_release);
    m_bAwaitingReply.store(0, std::memory_order_release);
    m_nLinkState.store(LINK_NO_ANSWER, std::memory_order_release);
    // Repeating cannot help. The no-answer notice ends whatever request is in
    // flight or about to be placed (nothing is sent any more), then the
    // reason is shown.
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->PostLinkReply({});
    PostStatus(TEXT_DISCONNECTED);
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->RunMessageBox(Utf8ToCp1251(TEXT_DISCONNECTED_BOX), MB_OK | MB_ICONERROR);
}
