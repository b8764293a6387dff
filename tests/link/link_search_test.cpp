#include <gtest/gtest.h>

#include "platform/serial_port.h"
#include "tests/link/link_rig.h"

namespace {

const std::string FOUND_COM2 = " Связь установлена по COM2 ";
const std::string NOT_FOUND = " Связь НЕ установлена.";
const std::string SEARCH_FAILED_BOX =
    "     Прибор не подключен к компьютеру,\n         или прибор не включен, \n"
    "   или нет свободных последовательных портов !!!";

TEST(LinkSearch, TriesSavedPortThenCom1UpwardsAndKeepsTheFirstThatAnswers) {
    FrameLog log;
    PtyInstrument com1(1, &log), com2(2, &log), com3(3, &log);
    com1.Run();
    com2.Run();
    com3.Run(AnswerFrom(1));
    ComPorts ports({{1, com1.Path()}, {2, com2.Path()}, {3, com3.Path()}});
    QueueTarget target;
    InstrumentLink link;
    link.PortNumber(2);
    ASSERT_EQ(link.Start(&target), 1);

    ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM3 "));
    EXPECT_EQ(link.PortNumber(-1), 3);
    EXPECT_EQ(log.PortRuns(), (std::vector<int>{2, 1, 2, 3}));
    EXPECT_EQ(com2.Count(CMD_PRESENCE), 8); // four frames on each of its two tries
    EXPECT_EQ(com1.Count(CMD_PRESENCE), 4);
    EXPECT_EQ(com3.Count(CMD_PRESENCE), 1);
    EXPECT_EQ(target.BoxesShown(), 0);
}

TEST(LinkSearch, FailedSearchShowsTheBoxThenTheStatusAndEnds) {
    FrameLog log;
    std::vector<std::unique_ptr<PtyInstrument>> silent;
    std::map<int, std::string> devices;
    for (int n : {9, 1, 2, 3, 4}) {
        silent.push_back(std::make_unique<PtyInstrument>(n, &log));
        silent.back()->Run();
        devices[n] = silent.back()->Path();
    }
    ComPorts ports(devices);
    QueueTarget target;
    InstrumentLink link;
    link.PortNumber(9);
    ASSERT_EQ(link.Start(&target), 1);

    std::vector<LinkEvent> before;
    const auto box = target.WaitFor(LinkEvent::Box, "", 15s, &before);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, SEARCH_FAILED_BOX);
    EXPECT_EQ(box->style, MB_OK);
    EXPECT_TRUE(before.empty()) << "nothing is reported before the box";
    const auto status = target.Next(5s);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text, NOT_FOUND);
    EXPECT_EQ(link.PortNumber(-1), 4);
    EXPECT_EQ(log.PortRuns(), (std::vector<int>{9, 1, 2, 3, 4}));
    for (const auto& instrument : silent)
        EXPECT_EQ(instrument->Count(CMD_PRESENCE), 4);

    // The worker has ended and holds no port: Stop has nothing to wait for.
    for (const auto& instrument : silent)
        EXPECT_TRUE(instrument->WaitUntilClosed(2s));
    const auto start = std::chrono::steady_clock::now();
    link.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(LinkSearch, PortHeldByAnotherProgramIsSkipped) {
    PtyInstrument com1, com2;
    com1.Run(AnswerFrom(1));
    com2.Run(AnswerFrom(1));
    SerialPort holder;
    ASSERT_TRUE(holder.Open(com2.Path()));
    ComPorts ports({{1, com1.Path()}, {2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);

    ASSERT_TRUE(WaitStatus(target, " Связь установлена по COM1 "));
    EXPECT_EQ(com2.Count(CMD_PRESENCE), 0);
}

struct PresenceCase {
    const char* name;
    PtyInstrument::Handler handler;
    int framesSeen; // presence frames the port gets before the link decides
    bool found;
};

void PrintTo(const PresenceCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkPresence : public ::testing::TestWithParam<PresenceCase> {};

TEST_P(LinkPresence, DecidesAfterTheExpectedFrames) {
    const PresenceCase& c = GetParam();
    PtyInstrument com2;
    com2.Run(c.handler);
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);

    if (c.found) {
        ASSERT_TRUE(WaitStatus(target, FOUND_COM2));
    } else {
        // Saved port 2 fails, then COM1 is tried: COM2 was given up.
        ASSERT_TRUE(target.WaitFor(LinkEvent::Box, "", 15s));
    }
    EXPECT_EQ(com2.Count(CMD_PRESENCE), c.found ? c.framesSeen : 2 * c.framesSeen);
}

Bytes EchoOn(const Bytes& frame, int nth, int answerFrom) {
    return nth >= answerFrom ? EchoPresence(frame) : Bytes{};
}

INSTANTIATE_TEST_SUITE_P(
    Echoes, LinkPresence,
    ::testing::Values(
        PresenceCase{"AnsweredAtOnce",
                     [](PtyInstrument&, const Bytes& f, int n) { return EchoOn(f, n, 1); }, 1,
                     true},
        PresenceCase{"AnsweredOnThirdFrame",
                     [](PtyInstrument&, const Bytes& f, int n) { return EchoOn(f, n, 3); }, 3,
                     true},
        PresenceCase{"EchoInTwoPieces",
                     [](PtyInstrument& self, const Bytes& f, int) {
                         self.Write({f[0], f[1]});
                         return Bytes(f.begin() + 2, f.end());
                     },
                     1, true},
        // Five bytes end the wait at once: a wrong echo gives the port up after one frame.
        PresenceCase{"WrongByte",
                     [](PtyInstrument&, const Bytes&, int) {
                         return Bytes{1, 5, 255, 5, 2};
                     },
                     1, false},
        PresenceCase{"TooFewBytes",
                     [](PtyInstrument&, const Bytes&, int) {
                         return Bytes{1, 5, 255, 5};
                     },
                     4, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkSearch, BytesBehindTheEchoAreGatheredAsAReply) {
    PtyInstrument com2;
    com2.Run([](PtyInstrument&, const Bytes& frame, int) {
        Bytes answer = EchoPresence(frame);
        answer.insert(answer.end(), POSITION_REPLY.begin(), POSITION_REPLY.end());
        return answer;
    });
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    ASSERT_EQ(link.Start(&target), 1);

    ASSERT_TRUE(WaitStatus(target, FOUND_COM2));
    const auto reply = target.WaitFor(LinkEvent::Reply, "", 5s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    EXPECT_EQ(link.m_nLinkState.load(), LINK_READY);
}

} // namespace
