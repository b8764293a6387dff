#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/serial_port.h"
#include "tests/link/link_rig.h"

namespace {

TEST(DeviceForPort, EnvironmentFirstThenTtyS) {
    ScopedComPort com3(3, "/dev/pts/77");
    EXPECT_EQ(DeviceForPort(3), "/dev/pts/77");
    unsetenv("TARVEX_COM1");
    unsetenv("TARVEX_COM4");
    unsetenv("TARVEX_COM0");
    EXPECT_EQ(DeviceForPort(1), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPort(4), "/dev/ttyS3");
    EXPECT_EQ(DeviceForPort(0), "");
    EXPECT_EQ(DeviceForPort(-1), "");
}

TEST(SerialPort, RefusesMissingDevicesNonTerminalsAndPortsInUse) {
    SerialPort port;
    EXPECT_FALSE(port.Open(""));
    EXPECT_FALSE(port.Open("/nonexistent/tty"));
    TempDir dir;
    {
        std::FILE* f = std::fopen(dir.File("plain").c_str(), "w");
        std::fclose(f);
    }
    EXPECT_FALSE(port.Open(dir.File("plain")));

    PtyInstrument pty;
    SerialPort holder;
    ASSERT_TRUE(holder.Open(pty.Path()));
    EXPECT_FALSE(port.Open(pty.Path()));
    holder.Close();
    EXPECT_TRUE(port.Open(pty.Path()));
}

TEST(SerialPort, ReadsOnlyWhatIsWaitingAndPurgeDiscardsIt) {
    PtyInstrument pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path()));
    uint8_t buffer[16];
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0); // returns at once

    pty.Write({1, 2, 3, 4, 5, 6});
    port.WaitForInput(5000, -1);
    // The pty may hand the bytes over in pieces; wait until all are in.
    for (int i = 0; i < 100 && port.BytesWaiting() < 6; ++i)
        port.WaitForInput(20, -1);
    EXPECT_EQ(port.BytesWaiting(), 6);
    ASSERT_EQ(port.Read(buffer, 4), 4);
    EXPECT_EQ(buffer[3], 4);
    EXPECT_EQ(port.BytesWaiting(), 2);
    port.Purge();
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.LineErrors(), 0); // a pseudo-terminal counts no line errors
    EXPECT_FALSE(port.IsHungUp());
}

TEST(SerialPort, HangUpIsReportedAndWaitsStayPaced) {
    auto pty = std::make_unique<PtyInstrument>();
    SerialPort port;
    ASSERT_TRUE(port.Open(pty->Path()));
    pty.reset(); // the other end goes away
    port.WaitForInput(5000, -1);
    EXPECT_TRUE(port.IsHungUp());
    EXPECT_EQ(port.BytesWaiting(), 0);
    uint8_t byte = 0;
    EXPECT_EQ(port.Write(&byte, 1), 0);
    // From now on a wait lasts its time-out instead of returning at once.
    const auto start = std::chrono::steady_clock::now();
    port.WaitForInput(100, -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
}

} // namespace
