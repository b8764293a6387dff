// The advice for a device the user may not open follows what its mode
// allows: a group is proposed only when it may read and write the device,
// never root's, and otherwise the message says who may open it.
#include "platform/port_problem.h"
#include "tests/support/sim_process.h"

#include <cerrno>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t NOBODY = 65534;

// The texts for devices, as the user nobody (no groups) gets them.
std::vector<std::string> TextsAsNobody(const std::vector<std::string>& devices) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        if (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
            _exit(1);
        std::string all;
        for (const std::string& device : devices)
            all += PortProblemText(device, EACCES) + '\n';
        _exit(write(pipeEnds[1], all.data(), all.size()) == ssize_t(all.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        all.append(buffer, size_t(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<std::string> texts;
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        texts.push_back(all.substr(start, end - start));
    return texts;
}

TEST(PortProblem, PermissionAdviceFollowsTheDevicesMode) {
    const group* entry = getgrnam("dialout");
    const gid_t dialout = entry != nullptr ? entry->gr_gid : 0;
    entry = getgrnam("tty");
    const gid_t tty = entry != nullptr ? entry->gr_gid : 0;
    if (geteuid() != 0 || dialout == 0 || tty == 0)
        GTEST_SKIP() << "needs root and the groups dialout and tty";
    TempDir dir;
    chmod(dir.Path().c_str(), 0755);
    struct Device {
        const char* name;
        gid_t group;
        mode_t mode;
    } const devices[] = {
        {"root0600", 0, 0600},  // only root
        {"root0660", 0, 0660},  // root's group may, but is no group to join
        {"pts0620", tty, 0620}, // a terminal: its group may only write
        {"dialout0660", dialout, 0660},
        {"open0666", 0, 0666}, // the mode lets everyone in: something else refused
    };
    std::vector<std::string> paths;
    for (const Device& d : devices) {
        paths.push_back(dir.File(d.name));
        std::ofstream(paths.back()) << "";
        ASSERT_EQ(chown(paths.back().c_str(), 0, d.group), 0);
        ASSERT_EQ(chmod(paths.back().c_str(), d.mode), 0);
    }
    const std::vector<std::string> texts = TextsAsNobody(paths);
    ASSERT_EQ(texts.size(), paths.size());
    const std::string ask = ". Ask an administrator for read and write access to it";
    EXPECT_EQ(texts[0].substr(0, texts[0].find(ask) + ask.size()),
              "No permission to open " + paths[0] +
                  " (owner root, group root, mode 0600): only its owner root may read and "
                  "write it" +
                  ask);
    EXPECT_NE(texts[1].find("(owner root, group root, mode 0660): only its owner root and the "
                            "members of the group root may read and write it" +
                            ask),
              std::string::npos)
        << texts[1];
    EXPECT_NE(texts[2].find("mode 0620): only its owner root may read and write it" + ask),
              std::string::npos)
        << texts[2];
    EXPECT_EQ(texts[3], "No permission to open " + paths[3] +
                            ": it belongs to the group dialout, and you are not in it. Join the "
                            "group with \"sudo usermod -aG dialout $USER\", then log out and in "
                            "again.");
    EXPECT_NE(texts[4].find("its mode 0666 would let you in"), std::string::npos) << texts[4];
    for (size_t i : {0, 1, 2, 4})
        EXPECT_EQ(texts[i].find("usermod"), std::string::npos) << texts[i];
}

} // namespace
