// Runs tarvex-sim in a child process for a test and tears it down after.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    // Starts the simulator with these arguments and waits for the device path
    // it prints first. Fails the test (and leaves DevicePath empty) otherwise.
    // A prefix (for example setpriv and its options) runs it as another user.
    explicit SimProcess(std::vector<std::string> args = {}, std::vector<std::string> prefix = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& DevicePath() const { return m_devicePath; }
    pid_t Pid() const { return m_pid; }
    // Sends sig and reaps the child.
    void Kill(int sig = SIGTERM);

private:
    pid_t m_pid = -1;
    std::string m_devicePath;
};

// Points COMn at a device for the life of the object (TARVEX_COM<n>).
class ScopedComPort {
public:
    ScopedComPort(int n, const std::string& device);
    ~ScopedComPort();

private:
    std::string m_name;
};

// Caps the size of files this process writes, for the life of the object,
// so a write fails with EFBIG part-way as it would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return m_bActive; }

private:
    unsigned long m_nSavedCur = 0;
    void (*m_pSavedHandler)(int) = nullptr;
    bool m_bActive = false;
};

// A fresh empty directory under the system's temporary folder, removed after.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
