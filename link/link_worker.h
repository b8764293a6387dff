// The link worker's own data, shared by the port search and the request
// cycle (both run on the worker thread only), and the event Stop waits on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "link/instrument_link.h"
#include "link/reply_gatherer.h"

struct InstrumentLink::Worker {
    ReplyGatherer gatherer;
    int r = 0;      // presence frames on this port, later repeats of the request
    int64_t t0 = 0; // the last send of the request awaited
    int W = 0;      // bytes waiting at the latest look
    int E = 0;      // line-error word at the latest look
    std::mutex exitMutex;
    std::condition_variable exitChanged;

    // Request cycle. An instrument answers every copy of a request it
    // receives, so a request that went out more than once can bring more
    // replies after the one taken: late copies, which must never be taken for
    // the reply to a later request.
    int64_t tLastByte = 0; // the last read of any bytes
    int nSends = 0;        // sends of the current request, re-placements of the same frame included
    int nSentCode = -1;    // the code of the request in flight; its reply carries the same
    bool bTimedOut = false; // the current request was repeated for want of a reply
    uint8_t lastReply[FRAME_MAX_LENGTH] = {}; // the frame of the reply taken last
    int nLastReply = 0;
    // Settling: after a request with more than one send ended, frames are late
    // copies; the next request waits until they are in or the line is quiet.
    bool bSettling = false;
    int64_t tSettleFrom = 0;
    int nCopiesLeft = 0;
    // The first reply to the request after a repeated one is checked: byte for
    // byte the reply taken then, it is a copy that came after the line fell quiet.
    bool bCheckCopy = false;
    bool bCopyDropped = false; // such a copy was dropped: repeat once the line is quiet
};
