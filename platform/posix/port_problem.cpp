// Why a port cannot be used, on POSIX: the device's owner, group and mode,
// and the process that holds it.
#include "platform/port_problem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#include "platform/messages.h"
#include "platform/port_problem_os.h"

namespace {

std::string ProcessName(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// The process holding a whole-file lock on the file with this identity, from
// the kernel's lock table, which every user may read. 0 when none.
long LockHolder(const struct stat& st) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, id;
        long pid = 0;
        if (!(fields >> number >> kind) || kind == "->")
            continue; // a waiter, not a holder
        if (!(fields >> mode >> access >> pid >> id))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(id.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            major == major(st.st_dev) && minor == minor(st.st_dev) && inode == st.st_ino)
            return pid;
    }
    return 0;
}

// A process with the device open, found through the descriptors this user may
// look at. 0 when none.
long OpenerOf(const std::string& device) {
    char resolved[PATH_MAX];
    if (::realpath(device.c_str(), resolved) == nullptr)
        return 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return 0;
    long found = 0;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == ::getpid())
            continue;
        const std::string fdDir = std::string("/proc/") + entry->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr)
            continue;
        while (dirent* fd = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n =
                ::readlink((fdDir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == resolved) {
                found = pid;
                break;
            }
        }
        ::closedir(fds);
        if (found != 0)
            break;
    }
    ::closedir(proc);
    return found;
}

bool ProcessHasGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0 && ::getgroups(n, groups.data()) == n)
        for (gid_t g : groups)
            if (g == gid)
                return true;
    return false;
}

// The user is listed in the group, though this session does not have it yet.
bool UserListedInGroup(const std::string& group) {
    const passwd* user = ::getpwuid(::geteuid());
    const ::group* entry = ::getgrnam(group.c_str());
    if (user == nullptr || entry == nullptr)
        return false;
    if (entry->gr_gid == user->pw_gid)
        return true;
    for (char** member = entry->gr_mem; *member != nullptr; ++member)
        if (std::strcmp(*member, user->pw_name) == 0)
            return true;
    return false;
}

constexpr mode_t USER_RW = S_IRUSR | S_IWUSR, GROUP_RW = S_IRGRP | S_IWGRP,
                 OTHERS_RW = S_IROTH | S_IWOTH;

bool Allows(const struct stat& st, mode_t readWrite) {
    return (st.st_mode & readWrite) == readWrite;
}

std::string UserName(uid_t uid) {
    if (const passwd* entry = ::getpwuid(uid))
        return entry->pw_name;
    return std::to_string(uid);
}

// Who the device's mode lets read and write it, as a clause for the message.
std::string WhoMayOpen(const struct stat& st, const std::string& owner, const std::string& group) {
    const bool user = Allows(st, USER_RW), members = Allows(st, GROUP_RW);
    if (user && members)
        return Format(Msg("only its owner %s and the members of the group %s may read and "
                          "write it"),
                      owner.c_str(), group.c_str());
    if (user)
        return Format(Msg("only its owner %s may read and write it"), owner.c_str());
    if (members)
        return Format(Msg("only the members of the group %s may read and write it"), group.c_str());
    return Msg("only the superuser may read and write it");
}

} // namespace

// Advice follows what the device's mode allows: joining a group helps only
// when that group may read and write the device, and root's group is never
// one to join (it opens far more than a serial port).
std::string PermissionProblemText(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return Format(Msg("No permission to open %s."), device.c_str());
    const std::string group = DeviceGroup(device), owner = UserName(st.st_uid);
    const auto mode = static_cast<unsigned>(st.st_mode & 07777);
    if (st.st_uid == ::geteuid() && !Allows(st, USER_RW))
        return Format(Msg("No permission to open %s: it is yours, but its mode %04o does not let "
                          "you read and write it. Allow it with \"chmod u+rw %s\"."),
                      device.c_str(), mode, device.c_str());
    const bool groupMayOpen = Allows(st, GROUP_RW) && st.st_gid != 0;
    if (groupMayOpen && !ProcessHasGroup(st.st_gid)) {
        if (UserListedInGroup(group))
            return Format(Msg("No permission to open %s: you have been added to its group %s, "
                              "but this session started before that. Log out and in again."),
                          device.c_str(), group.c_str());
        return Format(Msg("No permission to open %s: it belongs to the group %s, and you are not "
                          "in it. Join the group with \"sudo usermod -aG %s $USER\", then log out "
                          "and in again."),
                      device.c_str(), group.c_str(), group.c_str());
    }
    // The mode lets this user in, yet the system refused: an access list or a
    // security module decides, which only an administrator can change.
    const bool modeLetsIn = Allows(st, OTHERS_RW) ||
                            (Allows(st, GROUP_RW) && ProcessHasGroup(st.st_gid)) ||
                            (st.st_uid == ::geteuid() && Allows(st, USER_RW));
    const std::string why =
        modeLetsIn ? Format(Msg("its mode %04o would let you in, so a rule of the system (an "
                                "access list or a security module) keeps you out"),
                            mode)
                   : WhoMayOpen(st, owner, group);
    return Format(Msg("No permission to open %s (owner %s, group %s, mode %04o): %s. Ask an "
                      "administrator for read and write access to it, for example a udev rule "
                      "that gives it to a group for serial ports (such as dialout) with you in "
                      "that group."),
                  device.c_str(), owner.c_str(), group.c_str(), mode, why.c_str());
}

std::string DeviceGroup(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if (const group* entry = ::getgrgid(st.st_gid))
        return entry->gr_name;
    return std::to_string(st.st_gid);
}

std::string DeviceHolder(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    long pid = LockHolder(st);
    if (pid == 0)
        pid = OpenerOf(device);
    if (pid == 0)
        return {};
    const std::string name = ProcessName(pid);
    return Format(Msg("%s, process %ld"), name.empty() ? "?" : name.c_str(), pid);
}
