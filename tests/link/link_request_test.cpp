#include <gtest/gtest.h>

#include <thread>

#include "tests/link/link_rig.h"

namespace {

const std::string FOUND_COM2 = " Связь установлена по COM2 ";
const std::string WAITING = " Ожидание ответа.";
const std::string RECEIVED = " Oтвет получен."; // Latin capital O
const std::string NO_ANSWER = "!!! Нет ответа";

std::string Repeat(int n) {
    return " Повтор " + std::to_string(n) + ". Ожидание ответа.";
}

// An instrument on COM2 and a link that has found it.
class LinkServing : public ::testing::Test {
protected:
    void Found(PtyInstrument::Handler handler) {
        m_instrument.Run(std::move(handler));
        m_pPorts = std::make_unique<ComPorts>(std::map<int, std::string>{{2, m_instrument.Path()}});
        ASSERT_EQ(m_link.Start(&m_target), 1);
        ASSERT_TRUE(WaitStatus(m_target, FOUND_COM2));
    }
    int Place(int timeoutMs) {
        const Bytes frame = PositionRequest();
        return m_link.PlaceRequest(frame.data(), static_cast<int>(frame.size()), timeoutMs);
    }
    // Every event that comes within the window.
    std::vector<LinkEvent> Drain(std::chrono::milliseconds window) {
        std::vector<LinkEvent> events;
        while (auto event = m_target.Next(window))
            events.push_back(std::move(*event));
        return events;
    }

    PtyInstrument m_instrument;
    std::unique_ptr<ComPorts> m_pPorts;
    QueueTarget m_target; // outlives the link
    InstrumentLink m_link;
};

TEST_F(LinkServing, AnsweredRequestIsHandedOnAndLeavesTheLinkReady) {
    Found(AnswerFrom(1));
    ASSERT_EQ(Place(3000), 1);

    auto event = m_target.Next(5s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->text, WAITING);
    event = m_target.Next(5s);
    ASSERT_TRUE(event);
    ASSERT_EQ(event->kind, LinkEvent::Reply);
    EXPECT_EQ(event->bytes, POSITION_REPLY);
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_READY); // set before the reply was posted
    event = m_target.Next(5s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->text, RECEIVED);
    EXPECT_EQ(m_instrument.Frames().back(), PositionRequest());
}

TEST_F(LinkServing, UnansweredRequestIsRepeatedFourTimesThenGivenUp) {
    Found(AnswerFrom(6)); // only a sixth copy, i.e. a new request, is answered
    ASSERT_EQ(Place(300), 1);

    std::vector<LinkEvent> events;
    const auto reply = m_target.WaitFor(LinkEvent::Reply, "", 10s, &events);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->bytes.empty());
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_NO_ANSWER);
    const std::vector<std::string> expected = {WAITING,   Repeat(1), Repeat(2),
                                               Repeat(3), Repeat(4), NO_ANSWER};
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].text, expected[i]) << i;
        // A repeat never comes before the time-out has passed since the last send.
        if (i > 0) {
            EXPECT_GE(events[i].at - events[i - 1].at, 290ms) << i;
        }
    }
    EXPECT_EQ(m_instrument.Count(CMD_READ_POSITION), 5);

    // The worker goes on serving: the next request is sent and answered.
    ASSERT_EQ(Place(3000), 1);
    const auto answered = m_target.WaitFor(LinkEvent::Reply, "", 5s);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->bytes, POSITION_REPLY);
}

TEST_F(LinkServing, ReplyInTwoPiecesIsHandedOnOnceWhole) {
    Found([](PtyInstrument& self, const Bytes& frame, int) -> Bytes {
        if (frame[2] == CMD_PRESENCE)
            return EchoPresence(frame);
        self.Write(Bytes(POSITION_REPLY.begin(), POSITION_REPLY.begin() + 3));
        std::this_thread::sleep_for(50ms); // the instrument pauses mid-frame
        return Bytes(POSITION_REPLY.begin() + 3, POSITION_REPLY.end());
    });
    ASSERT_EQ(Place(3000), 1);

    ASSERT_TRUE(WaitStatus(m_target, RECEIVED, 5s));
    std::vector<LinkEvent> replies;
    for (const LinkEvent& event : Drain(300ms))
        if (event.kind == LinkEvent::Reply)
            replies.push_back(event);
    EXPECT_TRUE(replies.empty()) << "the reply was handed on more than once";
    EXPECT_EQ(m_instrument.Count(CMD_READ_POSITION), 1);
}

TEST_F(LinkServing, NoisePostponesTheTimeOut) {
    std::atomic<int64_t> lastNoise{0};
    Found([&lastNoise](PtyInstrument& self, const Bytes& frame, int n) -> Bytes {
        if (frame[2] == CMD_PRESENCE)
            return EchoPresence(frame);
        if (n == 1) {
            for (int i = 0; i < 15; ++i) {
                self.Write({0xAA});
                lastNoise = std::chrono::steady_clock::now().time_since_epoch().count();
                std::this_thread::sleep_for(100ms); // the noise's own rhythm
            }
        }
        return {};
    });
    ASSERT_EQ(Place(800), 1);

    const auto repeat = WaitStatus(m_target, Repeat(1), 10s);
    ASSERT_TRUE(repeat);
    const auto noiseEnded = std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(lastNoise.load()));
    // Every noise byte restarted the time-out, so the repeat follows the last one.
    EXPECT_GE(repeat->at - noiseEnded, 750ms);
}

TEST_F(LinkServing, FloodLongerThanAFrameIsDiscardedAndServiceGoesOn) {
    Found([](PtyInstrument&, const Bytes& frame, int n) -> Bytes {
        if (frame[2] == CMD_PRESENCE)
            return EchoPresence(frame);
        return n == 1 ? Bytes(300, 0xFF) : POSITION_REPLY;
    });
    ASSERT_EQ(Place(400), 1);

    ASSERT_TRUE(WaitStatus(m_target, Repeat(1), 10s));
    const auto reply = m_target.WaitFor(LinkEvent::Reply, "", 5s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    EXPECT_EQ(m_link.m_nLinkState.load(), LINK_READY);
}

TEST_F(LinkServing, FrameWithoutARequestIsHandedOn) {
    Found(AnswerFrom(1));
    m_instrument.Write(POSITION_REPLY);
    const auto reply = m_target.WaitFor(LinkEvent::Reply, "", 5s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    EXPECT_TRUE(WaitStatus(m_target, RECEIVED, 5s));
}

TEST_F(LinkServing, HungUpDeviceEndsTheRequestAsNoAnswerWithoutSpinning) {
    Found(AnswerFrom(99));
    ASSERT_EQ(Place(300), 1);
    ASSERT_TRUE(WaitStatus(m_target, WAITING, 5s));
    m_instrument.HangUp();

    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::vector<LinkEvent> events;
    const auto reply = m_target.WaitFor(LinkEvent::Reply, "", 15s, &events);
    ASSERT_TRUE(reply);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_TRUE(reply->bytes.empty());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().text, NO_ANSWER);
    // A worker spinning on the dead device would burn a whole core meanwhile.
    EXPECT_LT(cpu, 0.3 * wall) << "cpu " << cpu << " s in " << wall << " s";
}

TEST_F(LinkServing, IdleWorkerUsesNoMeasurableCpu) {
    Found(AnswerFrom(1));
    int idleMs = 2000;
    if (const char* env = std::getenv("TARVEX_IDLE_MS"))
        idleMs = std::atoi(env);
    const double cpuBefore = ProcessCpuSeconds();
    EXPECT_FALSE(m_target.Next(std::chrono::milliseconds(idleMs))); // nothing happens meanwhile
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    RecordProperty("idle_cpu_ms", static_cast<int>(cpu * 1000));
    std::printf("idle %d ms: process cpu %.1f ms (%.3f%%)\n", idleMs, cpu * 1000,
                100.0 * cpu * 1000 / idleMs);
    EXPECT_LT(cpu * 1000, 0.02 * idleMs);
}

TEST(LinkMailbox, RequestPlacedDuringTheSearchIsSentOnceTheInstrumentIsFound) {
    PtyInstrument com2;
    com2.Run(AnswerFrom(1));
    ComPorts ports({{2, com2.Path()}});
    QueueTarget target;
    InstrumentLink link;
    const Bytes frame = PositionRequest();
    ASSERT_EQ(link.PlaceRequest(frame.data(), static_cast<int>(frame.size()), 3000), 1);
    // The slot is taken until the worker has sent what is in it.
    EXPECT_EQ(link.PlaceRequest(frame.data(), static_cast<int>(frame.size()), 3000), 0);
    ASSERT_EQ(link.Start(&target), 1);

    std::vector<LinkEvent> events;
    const auto reply = target.WaitFor(LinkEvent::Reply, "", 10s, &events);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, POSITION_REPLY);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].text, FOUND_COM2);
    EXPECT_EQ(events[1].text, WAITING);
}

TEST(LinkMailbox, RefusesFramesThatDoNotFit) {
    InstrumentLink link;
    const Bytes big(513, 1);
    EXPECT_EQ(link.PlaceRequest(big.data(), static_cast<int>(big.size()), 3000), 0);
    EXPECT_EQ(link.PlaceRequest(big.data(), 0, 3000), 0);
    EXPECT_EQ(link.m_bTxRequest.load(), 0);
}

} // namespace
