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
    // receives, one after the other in the order they came, so a request
    // that went out more than once can bring more replies after the one
    // taken: late copies, which must never be taken for the reply to a later
    // request. Nothing in a reply names the request it answers, so the cycle
    // does not guess: the presence frame goes out ahead of the next request,
    // and its echo (which no record reply can be mistaken for) comes only
    // after every copy before it.
    int64_t tLastByte = 0; // the last read of any bytes
    int nSends = 0;        // sends of the current request (or of the presence frame ahead of it)
    int nSentCode = -1;    // the code of the frame in flight; its reply carries the same
    // Out of step: copies of an earlier request may still come. Every frame
    // is dropped until the echo of the presence frame sent ahead of the next
    // request is in (syncing while that frame is in flight).
    bool bOutOfStep = false;
    bool bSyncing = false;
    // Settling: after a request with more than one send ended, the presence
    // frame waits until its copies are in or the line is quiet, so that it
    // does not go out while a copy is on the line.
    bool bSettling = false;
    int64_t tSettleFrom = 0;
    int nCopiesLeft = 0;
};
