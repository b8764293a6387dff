#include "platform/serial_port.h"
#include "platform/serial_port_os.h"

#include "platform/wake_signal.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A write that makes no progress for this long is given up; at 9600 baud a
// whole 512-byte frame takes about 0.6 s.
constexpr int WRITE_STALL_MS = 2000;

} // namespace

std::string SystemPortDevice(int n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

SerialPort::~SerialPort() {
    Close();
}

namespace {

// Opens device and takes its lock; the descriptor, or -1 with *pError set.
// The lock belongs to the open file and goes with the last descriptor of it,
// also when the process is killed. The terminal's own exclusive mode is not
// used: it outlives a killed holder, and a pseudo-terminal would then refuse
// every later open by a user other than root.
int OpenLocked(const std::string& device, int* pError) {
    if (device.empty()) {
        *pError = ENOENT;
        return -1;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *pError = errno;
        return -1;
    }
    if (!::isatty(fd)) {
        *pError = ENOTTY;
        ::close(fd);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *pError = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return -1;
    }
    *pError = 0;
    return fd;
}

} // namespace

int ProbeSerialDevice(const std::string& device) {
    int error = 0;
    const int fd = OpenLocked(device, &error);
    if (fd >= 0)
        ::close(fd);
    return error;
}

bool SerialPort::Open(const std::string& device) {
    Close();
    const int fd = OpenLocked(device, &m_nOpenError);
    if (fd < 0)
        return false;
    m_nFd = fd;
    m_bHungUp = false;
    SetUpLine();
    // Errors counted before we opened the port are not ours to report.
    m_bCounters = ReadCounters(m_counters);
    return true;
}

bool SerialPort::IsOpen() const {
    return m_nFd >= 0;
}

void SerialPort::Close() {
    if (m_nFd < 0)
        return;
    ::flock(m_nFd, LOCK_UN);
    ::close(m_nFd);
    m_nFd = -1;
    m_bHungUp = false;
}

void SerialPort::SetUpLine() {
    termios tio{};
    if (::tcgetattr(m_nFd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // Reads return what is waiting at once.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(m_nFd, TCSANOW, &tio);
}

void SerialPort::ClearModemLines() {
    if (m_nFd < 0)
        return;
    int lines = TIOCM_DTR;
    ::ioctl(m_nFd, TIOCMBIC, &lines);
    lines = TIOCM_RTS;
    ::ioctl(m_nFd, TIOCMBIC, &lines);
}

void SerialPort::Purge() {
    if (m_nFd >= 0)
        ::tcflush(m_nFd, TCIOFLUSH);
}

int SerialPort::BytesWaiting() {
    if (m_nFd < 0 || m_bHungUp)
        return 0;
    int waiting = 0;
    if (::ioctl(m_nFd, FIONREAD, &waiting) != 0) {
        if (errno == EIO)
            m_bHungUp = true;
        return 0;
    }
    return waiting > 0 ? waiting : 0;
}

bool SerialPort::ReadCounters(int counters[4]) {
    serial_icounter_struct icount{};
    if (::ioctl(m_nFd, TIOCGICOUNT, &icount) != 0)
        return false;
    counters[0] = icount.buf_overrun;
    counters[1] = icount.overrun;
    counters[2] = icount.parity;
    counters[3] = icount.frame;
    return true;
}

int SerialPort::LineErrors() {
    if (m_nFd < 0 || !m_bCounters)
        return 0;
    int now[4];
    if (!ReadCounters(now))
        return 0;
    static constexpr int BITS[4] = {CE_RXOVER, CE_OVERRUN, CE_RXPARITY, CE_FRAME};
    int word = 0;
    for (int i = 0; i < 4; ++i) {
        if (now[i] != m_counters[i])
            word |= BITS[i];
        m_counters[i] = now[i];
    }
    return word;
}

int SerialPort::Read(uint8_t* bytes, int max) {
    if (m_nFd < 0 || m_bHungUp || max <= 0)
        return 0;
    for (;;) {
        const ssize_t n = ::read(m_nFd, bytes, static_cast<size_t>(max));
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (n == 0) {
            // A raw terminal also reads 0 bytes when nothing is waiting; only
            // a hang-up flag on the descriptor tells the two apart.
            pollfd pfd{m_nFd, POLLIN, 0};
            if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0)
                m_bHungUp = true;
            return 0;
        }
        m_bHungUp = true; // EIO and the like: the other end of the line is gone
        return 0;
    }
}

int SerialPort::Write(const uint8_t* bytes, int count) {
    if (m_nFd < 0 || m_bHungUp || count <= 0)
        return 0;
    int written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_nFd, bytes + written, static_cast<size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{m_nFd, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, WRITE_STALL_MS);
            if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR)) == 0)
                continue;
            if (ready > 0)
                m_bHungUp = true;
            break;
        }
        if (n < 0 && errno == EIO)
            m_bHungUp = true;
        break;
    }
    if (written > 0 && !m_bHungUp)
        ::tcdrain(m_nFd);
    return written;
}

void SerialPort::WaitForInput(int timeoutMs, const WakeSignal& wake) {
    const int wakeFd = static_cast<int>(wake.Native());
    if (timeoutMs < 0)
        timeoutMs = 0;
    pollfd pfds[2];
    int n = 0;
    if (wakeFd >= 0)
        pfds[n++] = {wakeFd, POLLIN, 0};
    const bool watchPort = m_nFd >= 0 && !m_bHungUp;
    if (watchPort)
        pfds[n++] = {m_nFd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(pfds, static_cast<nfds_t>(n), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (watchPort && ready > 0 && (pfds[n - 1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        m_bHungUp = true;
}
