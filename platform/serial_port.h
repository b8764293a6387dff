// One serial port (termios on POSIX, the Win32 comm API on Windows), set up
// for the instrument's line:
// 9600 baud, 8 data bits, no parity, 2 stop bits, raw, no flow control,
// DTR and RTS inactive. Reads never block; writes send the whole frame.
#pragma once

#include <cstdint>
#include <string>

class WakeSignal;

// Bits of the line-error word, as the link reports them: those of Win32's
// ClearCommError, which <windows.h> defines as macros of the same values.
#ifndef CE_RXOVER
constexpr int CE_RXOVER = 1;
constexpr int CE_OVERRUN = 2;
constexpr int CE_RXPARITY = 4;
constexpr int CE_FRAME = 8;
#endif

// The device behind port COMn: $TARVEX_COM<n> when set, otherwise
// /dev/ttyS<n-1> (\\.\COMn on Windows). Empty for a number below 1.
std::string DeviceForPort(int n);

// Whether device could be opened for the link now, without setting anything
// up: 0 when it could, otherwise the errno value SerialPort::OpenError gives.
int ProbeSerialDevice(const std::string& device);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for exclusive use and sets the line up. Fails when the
    // device is missing, is no terminal, or is held by another program; then
    // OpenError tells why. Exclusive use rests on a lock of the whole device
    // that ends with its holder, so a port is free again once its holder has
    // died, however it died.
    bool Open(const std::string& device);
    // Why the last Open failed: an errno value (ENOENT, EACCES, EBUSY for a
    // lock held by another program, ENOTTY for a device that is no terminal,
    // ...), 0 after a successful Open.
    int OpenError() const { return m_nOpenError; }
    bool IsOpen() const;
    // The device has hung up (unplugged, or the other end of the line closed).
    bool HungUp() const { return m_bHungUp; }
    void Close();

    // Clears DTR and RTS (devices without modem lines refuse; that is fine).
    void ClearModemLines();
    // Discards everything not yet sent and everything received but not read.
    void Purge();
    // Bytes waiting in the input queue; 0 after a hang-up.
    int BytesWaiting();
    // CE_* bits for the line errors counted since the previous call; 0 where
    // the driver keeps no counters.
    int LineErrors();
    // Takes up to max bytes already waiting; never blocks. Bytes read.
    int Read(uint8_t* bytes, int max);
    // Writes all count bytes and waits until they are out. Bytes written;
    // fewer when the device hung up or took nothing for a long time.
    int Write(const uint8_t* bytes, int count);

    // Waits up to timeoutMs for input, ending early when bytes arrive or
    // wake is notified. Once the device has hung up only wake is watched, so
    // a caller in a loop is still paced by the time-out.
    void WaitForInput(int timeoutMs, const WakeSignal& wake);

private:
    void SetUpLine();
    bool ReadCounters(int counters[4]);

#ifdef _WIN32
    void* m_hComm = nullptr; // the port's HANDLE
#else
    int m_nFd = -1;
#endif
    int m_nOpenError = 0;
    bool m_bHungUp = false;
    bool m_bCounters = false; // the driver keeps error counters
    int m_counters[4] = {};   // buf_overrun, overrun, parity, frame at the last query
};
