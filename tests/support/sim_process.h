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
    explicit SimProcess(std::vector<std::string> args = {});
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
