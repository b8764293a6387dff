#include <gtest/gtest.h>

#include "tests/link/link_rig.h"

namespace {

const std::string NOT_FOUND = " Связь НЕ установлена.";

// Stop returns within this, however busy the machine: its worst case is one
// presence wait or one pass of the cycle.
constexpr auto STOP_BOUND = 3s;

template <typename F> std::chrono::steady_clock::duration Timed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - start;
}

TEST(LinkStop, RightAfterStart) {
    PtyInstrument com2;
    com2.Run();
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);
    EXPECT_LT(Timed([&] { link.Stop(); }), STOP_BOUND);
    EXPECT_EQ(target.BoxesShown(), 0);
    // Stopping twice, and stopping a link never started, are harmless.
    EXPECT_EQ(link.Stop(), 0);
    InstrumentLink idle;
    EXPECT_EQ(idle.Stop(), 0);
}

TEST(LinkStop, DuringThePresenceExchange) {
    PtyInstrument com2;
    com2.Run();
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);
    ASSERT_TRUE(com2.WaitForCount(CMD_PRESENCE, 1, 5s));

    EXPECT_LT(Timed([&] { link.Stop(); }), STOP_BOUND);
    EXPECT_TRUE(com2.WaitUntilClosed(2s));
    EXPECT_EQ(target.BoxesShown(), 0);
    EXPECT_EQ(link.PortNumber(-1), 1); // the port that would have been tried next
}

TEST(LinkStop, WhileARequestIsInFlight) {
    PtyInstrument com2;
    com2.Run(AnswerFrom(99));
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);
    ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM2 "));
    const Bytes frame = PositionRequest();
    ASSERT_EQ(link.PlaceRequest(frame.data(), static_cast<int>(frame.size()), 5000), 1);
    ASSERT_TRUE(WaitStatus(target, " Ожидание ответа."));

    EXPECT_LT(Timed([&] { link.Stop(); }), STOP_BOUND);
    EXPECT_TRUE(com2.WaitUntilClosed(2s));
    EXPECT_FALSE(target.WaitFor(LinkEvent::Reply, "", 300ms)) << "no reply after Stop";

    // Only the worker sends, and only while the link runs.
    const int sent = static_cast<int>(com2.Frames().size());
    EXPECT_EQ(link.SendFrame(PRESENCE_FRAME, 5), 0);
    EXPECT_EQ(static_cast<int>(com2.Frames().size()), sent);
}

// A target whose Stop-time service dismisses the box the worker is held in,
// as the dialog does when it shows the box on its own thread.
class ServingTarget : public QueueTarget {
public:
    void ServeWhileStopping() override {
        ++m_nServed;
        ReleaseBoxes();
    }
    std::atomic<int> m_nServed{0};
};

TEST(LinkStop, WhileTheFailedSearchBoxIsOpen) {
    ComPorts ports; // nothing anywhere
    ServingTarget target;
    target.HoldBoxes(true);
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);
    ASSERT_TRUE(target.WaitFor(LinkEvent::Box, "", 10s));

    EXPECT_LT(Timed([&] { link.Stop(); }), STOP_BOUND);
    EXPECT_GE(target.m_nServed.load(), 1);
    // The worker finished its search after the box: the status came, port 4 is kept.
    EXPECT_TRUE(WaitStatus(target, NOT_FOUND, 1s));
    EXPECT_EQ(link.PortNumber(-1), 4);
}

TEST(LinkStop, DestroyingAServingLinkClosesThePort) {
    PtyInstrument com2;
    com2.Run(AnswerFrom(1));
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    {
        InstrumentLink link;
        ASSERT_EQ(link.Start(&target), 1);
        ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM2 "));
    }
    EXPECT_TRUE(com2.WaitUntilClosed(2s));
}

} // namespace
