#include <gtest/gtest.h>

#include <fstream>

#include "tests/link/link_rig.h"

namespace {

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The simulator on COM3 behind two silent ports: found on the fourth try,
// after it has ignored its first two presence frames.
TEST(LinkWithSimulator, SearchFindsItBehindSilentPortsOnItsThirdPresenceFrame) {
    TempDir dir;
    SimProcess sim({"--presence-after", "2", "--log", dir.File("sim.log")});
    ASSERT_FALSE(sim.DevicePath().empty());
    FrameLog log;
    PtyInstrument com1(1, &log), com2(2, &log);
    com1.Run();
    com2.Run();
    ComPorts ports({{1, com1.Path()}, {2, com2.Path()}, {3, sim.DevicePath()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);

    ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM3 "));
    EXPECT_EQ(link.PortNumber(-1), 3);
    EXPECT_EQ(log.PortRuns(), (std::vector<int>{2, 1, 2}));
    EXPECT_EQ(LogLines(dir.File("sim.log")), (std::vector<std::string>(3, "01 05 ff 05 01")));
}

TEST(LinkWithSimulator, EachCommandGetsItsReplyAtLinePace) {
    SimProcess sim;
    ASSERT_FALSE(sim.DevicePath().empty());
    ComPorts ports({{2, sim.DevicePath()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);
    ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM2 "));

    const struct {
        int code;
        uint16_t parameter;
        size_t replyLength;
    } exchanges[] = {
        {CMD_READ_POSITION, 0, 7}, {CMD_READ_EMPTY_CELLS, 0, 56}, {CMD_READ_RECORD, 1999, 38}};
    for (const auto& exchange : exchanges) {
        SCOPED_TRACE(exchange.code);
        uint8_t frame[7];
        const int length = BuildCommandFrame(frame, exchange.code, exchange.parameter);
        ASSERT_EQ(link.PlaceRequest(frame, length, 3000), 1);
        const auto reply = target.WaitFor(LinkEvent::Reply, "", 10s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes.size(), exchange.replyLength);
        EXPECT_EQ(reply->bytes[2], exchange.code);
        EXPECT_EQ(link.m_nLinkState.load(), LINK_READY);
    }
}

} // namespace
