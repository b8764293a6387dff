// The serial port on the Win32 comm API. Every wait is bounded: a ReadFile
// with no time-outs set may block for good and cannot be cancelled on every
// driver, so reads take only what ClearCommError says is waiting.
#include "platform/serial_port.h"
#include "platform/serial_port_os.h"

#include <cerrno>
#include <cstdlib>
#include <windows.h>

#include <timeapi.h>

#include "platform/wake_signal.h"
#include "platform/win32/wide_text.h"

namespace {

// A write that makes no progress for this long is given up; at 9600 baud a
// whole 512-byte frame takes about 0.6 s.
constexpr DWORD WRITE_STALL_MS = 2000;
// How often a wait looks at the input queue: the comm API has no readiness
// wait that works on every driver (WaitCommEvent returns at once under Wine,
// and a one-byte ReadFile waits out its whole time-out there). Every reply
// waits half a look on average: at 5 ms a download of 2000 records took
// 1.14 times its line time under Wine.
constexpr DWORD INPUT_POLL_MS = 1;

// Windows sleeps in timer ticks (15.6 ms unless a program asks for finer
// ones): finer ticks are asked for while a wait looks at the queue.
class FineTimer {
public:
    FineTimer() : m_bFine(::timeBeginPeriod(INPUT_POLL_MS) == TIMERR_NOERROR) {}
    ~FineTimer() {
        if (m_bFine)
            ::timeEndPeriod(INPUT_POLL_MS);
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool m_bFine;
};

HANDLE OpenPort(const std::string& device, int* pError) {
    if (device.empty()) {
        *pError = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    // Share mode 0: Windows gives a port to one program at a time.
    HANDLE h = ::CreateFileW(Widen(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A port another program holds answers "access denied".
        *pError = error == ERROR_ACCESS_DENIED ? EBUSY : ErrnoOfWin32Error(error);
        return h;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &dcb)) {
        ::CloseHandle(h);
        *pError = ENOTTY;
        return INVALID_HANDLE_VALUE;
    }
    *pError = 0;
    return h;
}

} // namespace

std::string SystemPortDevice(int n) {
    return "\\\\.\\COM" + std::to_string(n);
}

int ProbeSerialDevice(const std::string& device) {
    int error = 0;
    HANDLE h = OpenPort(device, &error);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    return error;
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::IsOpen() const {
    return m_hComm != nullptr;
}

bool SerialPort::Open(const std::string& device) {
    Close();
    HANDLE h = OpenPort(device, &m_nOpenError);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_hComm = h;
    m_bHungUp = false;
    SetUpLine();
    // Errors counted before we opened the port are not ours to report.
    DWORD errors = 0;
    ::ClearCommError(h, &errors, nullptr);
    m_bCounters = true;
    m_counters[0] = 0;
    return true;
}

void SerialPort::Close() {
    if (m_hComm == nullptr)
        return;
    ::CloseHandle(static_cast<HANDLE>(m_hComm));
    m_hComm = nullptr;
    m_bHungUp = false;
}

void SerialPort::SetUpLine() {
    HANDLE h = static_cast<HANDLE>(m_hComm);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb))
        return;
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    ::SetCommState(h, &dcb);
    // Reads end at once with what is waiting, or after 100 ms with nothing;
    // a write gives up after WRITE_STALL_MS plus its own line time.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 2; // ms a byte: 1.15 on the line
    timeouts.WriteTotalTimeoutConstant = WRITE_STALL_MS;
    ::SetCommTimeouts(h, &timeouts);
}

void SerialPort::ClearModemLines() {
    if (m_hComm == nullptr)
        return;
    // Ports without modem lines (and Wine's) refuse; that is fine.
    ::EscapeCommFunction(static_cast<HANDLE>(m_hComm), CLRDTR);
    ::EscapeCommFunction(static_cast<HANDLE>(m_hComm), CLRRTS);
}

void SerialPort::Purge() {
    if (m_hComm != nullptr)
        ::PurgeComm(static_cast<HANDLE>(m_hComm),
                    PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

int SerialPort::BytesWaiting() {
    if (m_hComm == nullptr || m_bHungUp)
        return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(static_cast<HANDLE>(m_hComm), &errors, &status)) {
        // A vanished adapter, or the far end of Wine's pty closed.
        m_bHungUp = true;
        return 0;
    }
    // ClearCommError also resets the error word: keep its bits for LineErrors.
    m_counters[0] |= static_cast<int>(errors);
    return static_cast<int>(status.cbInQue);
}

bool SerialPort::ReadCounters(int counters[4]) {
    counters[0] = m_counters[0];
    return true;
}

int SerialPort::LineErrors() {
    if (m_hComm == nullptr)
        return 0;
    BytesWaiting(); // collects the error word
    const int word = m_counters[0] & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME);
    m_counters[0] = 0;
    return word;
}

int SerialPort::Read(uint8_t* bytes, int max) {
    if (m_hComm == nullptr || m_bHungUp || max <= 0)
        return 0;
    const int waiting = BytesWaiting();
    if (waiting <= 0)
        return 0;
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(waiting < max ? waiting : max);
    if (!::ReadFile(static_cast<HANDLE>(m_hComm), bytes, want, &got, nullptr)) {
        m_bHungUp = true;
        return 0;
    }
    return static_cast<int>(got);
}

int SerialPort::Write(const uint8_t* bytes, int count) {
    if (m_hComm == nullptr || m_bHungUp || count <= 0)
        return 0;
    HANDLE h = static_cast<HANDLE>(m_hComm);
    int written = 0;
    while (written < count) {
        DWORD n = 0;
        if (!::WriteFile(h, bytes + written, static_cast<DWORD>(count - written), &n, nullptr)) {
            m_bHungUp = true; // error 21 (not ready) after a hang-up
            break;
        }
        if (n == 0)
            break; // the write time-out: the line took nothing
        written += static_cast<int>(n);
    }
    if (written > 0 && !m_bHungUp)
        ::FlushFileBuffers(h); // until the bytes are out, as tcdrain
    return written;
}

void SerialPort::WaitForInput(int timeoutMs, const WakeSignal& wake) {
    if (timeoutMs < 0)
        timeoutMs = 0;
    HANDLE hWake = reinterpret_cast<HANDLE>(wake.Native());
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    const FineTimer fineTicks;
    for (;;) {
        if (m_hComm != nullptr && !m_bHungUp && BytesWaiting() > 0)
            return;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end)
            return;
        DWORD slice = static_cast<DWORD>(end - now);
        if (m_hComm != nullptr && !m_bHungUp && slice > INPUT_POLL_MS)
            slice = INPUT_POLL_MS;
        if (::WaitForSingleObject(hWake, slice) == WAIT_OBJECT_0)
            return;
    }
}
