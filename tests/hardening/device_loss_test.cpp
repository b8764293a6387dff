// The instrument's device disappears: the simulator is killed in the middle
// of a download, or before the port search. The link must give the request
// up as unanswered and say so, without spinning on the hung-up descriptor,
// and must not search again when a device shows up later.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "tests/hardening/download_rig.h"
#include "tests/support/sim_process.h"

namespace {

using namespace std::chrono_literals;

constexpr int REPLY_TIMEOUT_MS = 200;
// Worker CPU over the measuring window must stay well under a tenth of a core.
constexpr double MAX_CPU_SHARE = 0.10;
constexpr auto MEASURE = 2s;

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Hands on link events for the measuring window; returns the process CPU
// share used meanwhile.
double CpuShareWhilePumping(DownloadRig& rig) {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    rig.Pump(std::chrono::duration_cast<std::chrono::milliseconds>(MEASURE));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double share = (ProcessCpuSeconds() - cpu0) / wall;
    std::printf("process CPU over %.1f s: %.2f %% of a core\n", wall, share * 100);
    return share;
}

TEST(DeviceLoss, KilledMidDownloadIsGivenUpWithoutSpinningAndNotSearchedAgain) {
    TempDir dir;
    // Paced, so the download is still running when the kill comes.
    SimProcess sim({"--seed", "3", "--position", "600"});
    ASSERT_FALSE(sim.DevicePath().empty());
    ScopedComPort port(2, sim.DevicePath());

    DownloadRig rig;
    rig.m_host.m_nCount = 400;
    rig.m_host.m_szPath = dir.File("out.doc");
    rig.m_sequence.m_nReplyTimeout = REPLY_TIMEOUT_MS;
    rig.m_host.m_onProgress = [&](int pos) {
        if (pos == 10)
            sim.Kill(SIGKILL);
    };
    rig.m_link.PortNumber(2);
    ASSERT_EQ(rig.m_link.Start(&rig.m_target), 1);

    int noAnswers = 0;
    // The first send plus four repeats of 200 ms each: about a second.
    EXPECT_FALSE(rig.Download(30s, 1, &noAnswers));
    EXPECT_EQ(noAnswers, 1);
    EXPECT_EQ(rig.m_link.m_nLinkState.load(), LINK_NO_ANSWER);
    EXPECT_TRUE(Contains(rig.m_statuses, "!!! Нет ответа"));
    EXPECT_EQ(rig.m_host.m_nWritten, 0);

    EXPECT_LT(CpuShareWhilePumping(rig), MAX_CPU_SHARE) << "after the device vanished";

    // A new device on the same port name is not looked for: the link keeps
    // the port it found, and the next request is given up again.
    SimProcess again({"--seed", "3", "--position", "600", "--log", dir.File("again.log")});
    ASSERT_FALSE(again.DevicePath().empty());
    ScopedComPort portAgain(2, again.DevicePath());
    noAnswers = 0;
    EXPECT_FALSE(rig.Download(30s, 1, &noAnswers));
    EXPECT_EQ(noAnswers, 1);
    EXPECT_EQ(ReadWholeFile(dir.File("again.log")), "") << "the new device was searched";
    EXPECT_LT(CpuShareWhilePumping(rig), MAX_CPU_SHARE) << "after the second give-up";
}

TEST(DeviceLoss, GoneBeforeTheSearchEndsTheSearchWithItsBoxWithoutSpinning) {
    std::string device;
    {
        SimProcess sim;
        device = sim.DevicePath();
    } // killed: the device node is gone
    ASSERT_FALSE(device.empty());
    ScopedComPort com1(1, device), com2(2, device), com3(3, device), com4(4, device);

    DownloadRig rig;
    ASSERT_EQ(rig.m_link.Start(&rig.m_target), 1);
    auto box = rig.m_target.WaitFor(LinkEvent::Box, "", 30s);
    ASSERT_TRUE(box.has_value()) << "no search-failure box";
    EXPECT_NE(box->text.find("Прибор не подключен"), std::string::npos) << box->text;
    EXPECT_TRUE(rig.m_target.WaitFor(LinkEvent::Status, " Связь НЕ установлена.", 10s));
    EXPECT_LT(CpuShareWhilePumping(rig), MAX_CPU_SHARE);
    rig.m_link.Stop();
}

} // namespace
