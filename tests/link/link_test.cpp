// The link worker against instruments played on pseudo-terminals and the simulator.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "platform/serial_port.h"
#include "tests/link/link_rig.h"

namespace {

using namespace std::string_literals;

const auto Repeat = [](int n) { return " Повтор " + std::to_string(n) + ". Ожидание ответа."; };

// Processor time of the whole process, all threads.
const auto ProcessCpuSeconds = [] { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; };

template <typename F> std::chrono::steady_clock::duration Timed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - start;
}

// Stop returns within this however busy the machine: its worst case is one
// presence wait or one pass of the cycle.
constexpr auto STOP_BOUND = 3s;

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

class Link : public ::testing::Test {
protected:
    // An instrument on COM2 answering through handler, and the link started.
    void Start(Instrument::Handler handler, bool waitUntilFound = true) {
        m_pCom2 = std::make_unique<Instrument>(2, std::move(handler));
        m_ports = PointPorts({{2, m_pCom2->Path()}});
        ASSERT_EQ(m_link.Start(&m_target), 1);
        ASSERT_TRUE(!waitUntilFound || WaitStatus(FOUND_COM2));
    }
    int Place(int timeoutMs, const Bytes& frame = POSITION_REQUEST) {
        return m_link.PlaceRequest(frame.data(), static_cast<int>(frame.size()), timeoutMs);
    }
    std::optional<LinkEvent> WaitStatus(const std::string& text,
                                        std::chrono::milliseconds timeout = 10s,
                                        std::vector<LinkEvent>* pSkipped = nullptr) {
        return m_target.WaitFor(LinkEvent::Status, text, timeout, pSkipped);
    }
    std::optional<LinkEvent> WaitReply(std::vector<LinkEvent>* pSkipped = nullptr) {
        return m_target.WaitFor(LinkEvent::Reply, "", 20s, pSkipped);
    }

    std::unique_ptr<Instrument> m_pCom2;
    ComPorts m_ports;
    ServingTarget m_target; // outlives the link
    InstrumentLink m_link;
};

// Saved COM2 and COM1 are silent, so the simulator on COM3 is found on the
// fourth try, after ignoring its first two presence frames; then it serves.
TEST_F(Link, SearchTriesSavedPortThenCom1UpwardsAndKeepsTheFirstThatAnswers) {
    TempDir dir;
    SimProcess sim({"--presence-after", "2", "--log", dir.File("sim.log")});
    Instrument com1(1), com2(2);
    const ComPorts ports = PointPorts({{1, com1.Path()}, {2, com2.Path()}, {3, sim.DevicePath()}});
    ASSERT_EQ(m_link.Start(&m_target), 1);
    ASSERT_TRUE(WaitStatus(" Связь установлена по COM3 "));
    EXPECT_EQ(m_link.PortNumber(-1), 3);
    EXPECT_EQ(PortRuns(), (std::vector<int>{2, 1, 2}));
    EXPECT_EQ(com2.Count(CMD_PRESENCE), 8); // four presence frames on each try
    EXPECT_EQ(com1.Count(CMD_PRESENCE), 4);

    ASSERT_EQ(Place(3000, {1, 7, 10, 207, 7, 232, 0}), 1); // record 1999
    const auto reply = WaitReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes.size(), 38u);
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_READY);
    std::ifstream log(dir.File("sim.log"));
    const std::string text(std::istreambuf_iterator<char>(log), {});
    EXPECT_EQ(text, "01 05 ff 05 01\n01 05 ff 05 01\n01 05 ff 05 01\n01 07 0a cf 07 e8 00\n");
}

// Nothing answers from saved COM9 through COM4, and COM3 is held by another
// owner: the box comes first, and Stop while it is open gets it dismissed.
TEST_F(Link, FailedSearchShowsTheBoxThenTheStatusAndKeepsPort4) {
    std::map<int, std::unique_ptr<Instrument>> silent;
    std::map<int, std::string> devices;
    for (int n : {9, 1, 2, 3, 4})
        devices[n] = (silent[n] = std::make_unique<Instrument>(n))->Path();
    SerialPort holder;
    ASSERT_TRUE(holder.Open(devices[3]));
    const ComPorts ports = PointPorts(devices);
    m_target.HoldBoxes(true);
    m_link.PortNumber(9);
    ASSERT_EQ(m_link.Start(&m_target), 1);

    std::vector<LinkEvent> before;
    const auto box = m_target.WaitFor(LinkEvent::Box, "", 15s, &before);
    ASSERT_TRUE(box);
    // The fixed text, then why each port failed and where to look next.
    const std::string fixed =
        "     Прибор не подключен к компьютеру,\n         или прибор не включен, "
        "\n   или нет свободных последовательных портов !!!\n\n";
    EXPECT_EQ(box->text.substr(0, fixed.size()), fixed);
    for (const std::string& part :
         {"COM9 (" + devices[9] + "): no answer\n", "COM3 (" + devices[3] + "): busy\n",
          devices[3] + " is in use by another program (", ", process " + std::to_string(getpid()),
          "TARVEX_COM<n>"s, "--device"s, "--list-ports"s})
        EXPECT_NE(box->text.find(part), std::string::npos) << part << " in\n" << box->text;
    EXPECT_EQ(box->style, MB_OK);
    EXPECT_TRUE(before.empty()) << "nothing is reported before the box";
    EXPECT_LT(Timed([&] { m_link.Stop(); }), STOP_BOUND);
    EXPECT_GE(m_target.m_nServed.load(), 1);
    EXPECT_TRUE(WaitStatus(NOT_FOUND, 5s)); // the search finished after the box
    EXPECT_EQ(m_link.PortNumber(-1), 4);
    EXPECT_EQ(PortRuns(), (std::vector<int>{9, 1, 2, 4}));
    for (const auto& [n, instrument] : silent)
        EXPECT_EQ(instrument->Count(CMD_PRESENCE), n == 3 ? 0 : 4) << "COM" << n;
}

TEST_F(Link, AnsweredRequestIsHandedOnAndLeavesTheLinkReady) {
    Start(AnswerFrom(1));
    ASSERT_EQ(Place(3000), 1);
    std::vector<LinkEvent> before;
    const auto reply = WaitReply(&before);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_READY); // set before the reply was posted
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].text, WAITING);
    const auto next = m_target.Next(5s);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text, RECEIVED);
}

TEST_F(Link, UnansweredRequestIsRepeatedFourTimesThenGivenUp) {
    Start(AnswerFrom(6)); // only a sixth copy, i.e. the next request, is answered
    ASSERT_EQ(Place(300), 1);
    std::vector<LinkEvent> events;
    const auto reply = WaitReply(&events);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->bytes.empty());
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_NO_ANSWER);
    const std::vector<std::string> expected = {WAITING,   Repeat(1), Repeat(2),
                                               Repeat(3), Repeat(4), NO_ANSWER};
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].text, expected[i]);
        // Nothing comes before the time-out has passed since the last send.
        EXPECT_GE(events[i].at - events[i > 0 ? i - 1 : 0].at, i > 0 ? 290ms : 0ms) << i;
    }
    EXPECT_EQ(m_pCom2->Count(CMD_READ_POSITION), 5);

    ASSERT_EQ(Place(3000), 1); // the worker goes on serving
    const auto answered = WaitReply();
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->bytes, POSITION_REPLY);
}

TEST_F(Link, ReplyInTwoPartsIsHandedOnOnceWhole) {
    Start([](PtyLine& line, const Bytes& frame, int) -> Bytes {
        if (frame == PRESENCE)
            return frame;
        line.Send(Bytes(POSITION_REPLY.begin(), POSITION_REPLY.begin() + 3));
        std::this_thread::sleep_for(50ms); // the instrument pauses mid-frame
        return Bytes(POSITION_REPLY.begin() + 3, POSITION_REPLY.end());
    });
    ASSERT_EQ(Place(3000), 1);
    std::vector<LinkEvent> events;
    ASSERT_TRUE(WaitStatus(RECEIVED, 5s, &events));
    EXPECT_FALSE(m_target.Next(300ms)) << "nothing more follows";
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].bytes, POSITION_REPLY);
}

TEST_F(Link, NoiseNeverPutsTheTimeOutOff) {
    // A stray byte every 100 ms for three seconds, while the request waits.
    Start([](PtyLine& line, const Bytes& frame, int n) -> Bytes {
        for (int i = 0; frame[2] == CMD_READ_POSITION && n == 1 && i < 30; ++i) {
            line.Send({0xAA});
            std::this_thread::sleep_for(100ms);
        }
        return frame == PRESENCE ? frame : Bytes{};
    });
    ASSERT_EQ(Place(800), 1);
    const auto sent = WaitStatus(WAITING, 5s);
    ASSERT_TRUE(sent);
    const auto repeat = WaitStatus(Repeat(1));
    ASSERT_TRUE(repeat);
    // Counted from the send: not a noise byte later, and not once the noise ends.
    EXPECT_GE(repeat->at - sent->at, 790ms);
    EXPECT_LT(repeat->at - sent->at, 2000ms);
}

// Frames that sum right but cannot answer the request in flight: two stray
// bytes that happen to make a frame, and a reply with another code. Neither
// ends the wait; the request is repeated and its own reply taken.
class LinkStrayFrame : public Link, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkStrayFrame, IsNoAnswer) {
    Bytes stray = {0x00, 0x02};
    if (GetParam()) {
        stray = {1, 6, CMD_READ_EMPTY_CELLS, 0, 0, 0};
        AppendChecksum(stray.data(), 4);
    }
    Start([stray](PtyLine&, const Bytes& frame, int n) -> Bytes {
        if (frame == PRESENCE)
            return frame;
        return n == 1 ? stray : POSITION_REPLY;
    });
    ASSERT_EQ(Place(400), 1);
    std::vector<LinkEvent> events;
    const auto reply = WaitReply(&events);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().text, Repeat(1));
}

INSTANTIATE_TEST_SUITE_P(NoiseOrOtherCode, LinkStrayFrame, ::testing::Bool());

TEST_F(Link, FloodLongerThanAFrameIsDiscardedAndServiceGoesOn) {
    Start([](PtyLine&, const Bytes& frame, int n) -> Bytes {
        if (frame == PRESENCE)
            return frame;
        return n == 1 ? Bytes(300, 0xFF) : POSITION_REPLY;
    });
    ASSERT_EQ(Place(400), 1);
    ASSERT_TRUE(WaitStatus(Repeat(1)));
    const auto reply = WaitReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_READY);
}

// The device goes away while a request waits: no repeats, the request ends
// at once, and the reason is given as a status text and an error box.
TEST_F(Link, HungUpDeviceEndsTheRequestAtOnceAndSaysItWasDisconnected) {
    Start(AnswerFrom(99));
    ASSERT_EQ(Place(3000), 1);
    ASSERT_TRUE(WaitStatus(WAITING, 5s));
    m_pCom2->HangUp();
    const double cpuBefore = ProcessCpuSeconds();
    std::vector<LinkEvent> events;
    std::optional<LinkEvent> box;
    const auto wall = Timed([&] { box = m_target.WaitFor(LinkEvent::Box, "", 20s, &events); });
    ASSERT_TRUE(box);
    EXPECT_LT(wall, 2s) << "well before the first repeat would be due";
    EXPECT_NE(box->text.find("прибор отключен"), std::string::npos) << box->text;
    EXPECT_EQ(box->style, MB_OK | MB_ICONERROR);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, LinkEvent::Reply);
    EXPECT_TRUE(events[0].bytes.empty()) << "the request ends";
    EXPECT_EQ(events[1].text, " Прибор отключен.");
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_NO_ANSWER);
    EXPECT_EQ(m_link.DeviceGone(), 1);
    // Nothing more follows, and a worker spinning on the dead device would
    // burn a whole core meanwhile.
    EXPECT_FALSE(m_target.Next(1s));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_LT(cpu, 0.3) << "cpu " << cpu << " s";
}

// A requester that places its next request whenever the link looks free, as
// the download does, must never get a second request placed while one is
// in flight: the second send would throw the first request or its reply
// away. So every request placed gets exactly one reply.
TEST_F(Link, NoRequestIsPlacedWhileAnotherIsInFlight) {
    Start([](PtyLine&, const Bytes& frame, int) -> Bytes {
        if (frame != PRESENCE)
            std::this_thread::sleep_for(2ms);
        return frame == PRESENCE ? frame : POSITION_REPLY;
    });
    std::atomic<bool> stop{false};
    std::atomic<int> placed{0};
    std::thread requester([&] {
        while (!stop) {
            const int32_t state = m_link.m_nLinkState.load();
            if (state == LINK_READY || state == LINK_NO_ANSWER)
                placed += Place(3000);
        }
    });
    int replies = 0;
    while (replies < 300 && WaitReply())
        ++replies;
    stop = true;
    requester.join();
    while (replies < placed.load() && WaitReply())
        ++replies;
    EXPECT_EQ(replies, placed.load()) << "requests were lost to a second send";
    EXPECT_EQ(m_pCom2->Count(CMD_READ_POSITION), placed.load());
}

// A late copy of a repeated request's reply that comes only after the line
// fell quiet (the instrument answers in order, so before the presence frame
// that puts the exchange back in step) is never taken for the next reply;
// equal replies that are real (a run of equal records) pass with no extra send.
class LinkLateCopy : public Link, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkLateCopy, IsDroppedWhileEqualRepliesStillPass) {
    const bool bCopy = GetParam();
    const Bytes R = {1, 7, 10, 0xAA, 0, 0xBC, 0}, Y = {1, 6, 10, 7, 24, 0};
    const Bytes A = {1, 7, 10, 0, 0, 18, 0}, B = {1, 7, 10, 1, 0, 19, 0},
                C = {1, 7, 10, 2, 0, 20, 0};
    auto copyDue = std::make_shared<std::atomic<bool>>(false);
    Start([bCopy, R, Y, copyDue](PtyLine& line, const Bytes& frame, int n) -> Bytes {
        if (copyDue->exchange(false)) {
            line.Send(R); // the copy for A's second send, with the next frame
            std::this_thread::sleep_for(30ms);
        }
        if (frame == PRESENCE)
            return frame;
        if (frame[3] == 0) { // the reply to A's first send comes after its repeat
            *copyDue = n == 2;
            return n == 1 ? Bytes{} : R;
        }
        return frame[3] == 1 && bCopy ? Y : R;
    });
    std::vector<Bytes> replies;
    for (const Bytes& request : {A, B, C}) {
        ASSERT_EQ(Place(1000, request), 1); // the line is quiet after 250 ms
        const auto reply = WaitReply();
        ASSERT_TRUE(reply);
        replies.push_back(reply->bytes);
    }
    EXPECT_FALSE(m_target.WaitFor(LinkEvent::Reply, "", 500ms)) << "one reply a request";
    EXPECT_EQ(replies, (std::vector<Bytes>{R, bCopy ? Y : R, R}));
    // A twice, B and C once; one presence frame in the search, one after A.
    EXPECT_EQ(m_pCom2->Count(CMD_READ_RECORD), 4);
    EXPECT_EQ(m_pCom2->Count(CMD_PRESENCE), 2);
}

INSTANTIATE_TEST_SUITE_P(Replies, LinkLateCopy, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Copy" : "EqualRecords"; });

// Every copy of a request, each later than the time-out and the quiet the
// link waits for: the copies come in order before the presence echo, and
// none of them is taken for the reply to a later request.
TEST_F(Link, CopiesLaterThanTheQuietAreNeverTakenForTheNextReply) {
    const auto Record = [](uint8_t index) {
        Bytes reply = {1, 7, 10, index, 0, 0, 0};
        AppendChecksum(reply.data(), 5);
        return reply;
    };
    Start([Record](PtyLine&, const Bytes& frame, int n) -> Bytes {
        if (frame == PRESENCE)
            return frame;
        // The instrument takes 650 ms for each of the first three sends of
        // record 0 and holds everything behind them meanwhile.
        if (frame[3] == 0 && n <= 3)
            std::this_thread::sleep_for(650ms);
        return Record(frame[3]);
    });
    std::vector<Bytes> replies;
    for (uint8_t index = 0; index < 4; ++index) {
        const Bytes request = {1, 7, 10, index, 0, static_cast<uint8_t>(18 + index), 0};
        ASSERT_EQ(Place(300, request), 1);
        const auto reply = WaitReply();
        ASSERT_TRUE(reply);
        replies.push_back(reply->bytes);
    }
    EXPECT_EQ(replies, (std::vector<Bytes>{Record(0), Record(1), Record(2), Record(3)}));
    EXPECT_FALSE(m_target.WaitFor(LinkEvent::Reply, "", 500ms)) << "one reply a request";
}

// What the dialog and the reader log and print as the port and device of a
// download: a COM port with its device, an adapter or a device given to
// search alone by its path; before the search ends, the port it stands on.
TEST_F(Link, EndpointNamesThePortAndDeviceWhereTheInstrumentAnswered) {
    EXPECT_EQ(EndpointOfPort(3).Title(), "COM3 (" + DeviceForPort(3) + ")");
    Start(AnswerFrom(1));
    EXPECT_EQ(m_link.Endpoint().port, "COM2");
    EXPECT_EQ(m_link.Endpoint().device, m_pCom2->Path());
    EXPECT_EQ(m_link.Endpoint().Title(), "COM2 (" + m_pCom2->Path() + ")");
    m_link.Stop();

    TempDir dir;
    const std::string adapter = dir.File("usb-Maker_A-if00-port0");
    ASSERT_EQ(symlink(m_pCom2->Path().c_str(), adapter.c_str()), 0);
    setenv("TARVEX_SERIAL_BY_ID", dir.Path().c_str(), 1);
    setenv("TARVEX_COM2", "/nonexistent/tarvex-com", 1);
    for (const bool bOnly : {false, true}) {
        QueueTarget target; // outlives the link, whose stop still serves it
        InstrumentLink link;
        if (bOnly)
            link.OnlyDevice(adapter);
        EXPECT_EQ(link.Endpoint().port, bOnly ? adapter : "COM2") << "before the search";
        ASSERT_EQ(link.Start(&target), 1);
        ASSERT_TRUE(
            target.WaitFor(LinkEvent::Status, " Связь установлена по " + adapter + " ", 10s));
        EXPECT_EQ(link.Endpoint().port, adapter);
        EXPECT_EQ(link.Endpoint().device, adapter);
        EXPECT_EQ(link.Endpoint().Title(), adapter);
    }
}

// What the opened port was set to, read back through the other end of the line.
TEST_F(Link, OpenedPortRuns9600Baud8DataBitsNoParity2StopBitsRaw) {
    Start(AnswerFrom(1));
    const termios tio = m_pCom2->Settings();
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(tio.c_cflag & (PARENB | CRTSCTS), 0u) << "no parity, no hardware flow control";
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u) << "raw";
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(Link, IdleWorkerUsesNoMeasurableCpu) {
    Start(AnswerFrom(1));
    const double cpuBefore = ProcessCpuSeconds();
    EXPECT_FALSE(m_target.Next(2s)); // nothing happens meanwhile
    const double cpuMs = (ProcessCpuSeconds() - cpuBefore) * 1000;
    EXPECT_LT(cpuMs, 40.0); // 2 % of the idle time
}

// Stop right after Start, during the presence exchange, and while a request is
// in flight: it returns promptly, and then nothing more is reported or sent.
class LinkStopIn : public Link, public ::testing::WithParamInterface<const char*> {};

TEST_P(LinkStopIn, ReturnsPromptlyAndReleasesThePort) {
    const std::string phase = GetParam();
    Start(phase == "request" ? AnswerFrom(99) : Instrument::Handler(), phase == "request");
    ASSERT_GE(phase == "presence" ? m_pCom2->Count(CMD_PRESENCE, 1, 5s) : 1, 1);
    if (phase == "request") {
        ASSERT_EQ(Place(5000), 1);
        ASSERT_TRUE(WaitStatus(WAITING, 5s));
    }
    EXPECT_LT(Timed([&] { m_link.Stop(); }), STOP_BOUND);
    EXPECT_EQ(m_link.Stop(), 0); // a second Stop is harmless
    // The port is free again. A marker sent through it reaches the instrument
    // behind every byte the link wrote, so once it is in, the count is whole.
    SerialPort probe;
    ASSERT_TRUE(probe.Open(m_pCom2->Path()));
    const uint8_t marker[] = {1, 5, 0xEE, 0xF4, 0};
    ASSERT_EQ(probe.Write(marker, 5), 5);
    ASSERT_EQ(m_pCom2->Count(0xEE, 1, 20s), 1);
    const int sent = m_pCom2->Count(CMD_PRESENCE);
    if (phase == "presence") {
        // The port that would have been tried next: COM1 after the first try of
        // COM2; COM3 when a busy machine let the search reach COM2's second try.
        EXPECT_EQ(m_link.PortNumber(-1), sent <= 4 ? 1 : 3);
    }
    EXPECT_EQ(m_link.SendFrame(PRESENCE_FRAME, 5), 0);
    EXPECT_FALSE(m_target.WaitFor(LinkEvent::Reply, "", 300ms)) << "no reply after Stop";
    EXPECT_EQ(m_pCom2->Count(CMD_PRESENCE), sent);
    EXPECT_EQ(m_target.BoxesShown(), 0);
}

INSTANTIATE_TEST_SUITE_P(Phases, LinkStopIn, ::testing::Values("start", "presence", "request"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
