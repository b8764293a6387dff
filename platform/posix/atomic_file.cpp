#include "platform/atomic_file.h"
#include "platform/atomic_file_os.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/in_place_file.h"

namespace {

// Room left in a file name for the temporary file's prefix and suffix.
constexpr std::size_t MAX_BASE_IN_TEMP_NAME = 200;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link stays in place: the file it leads to is the one written.
// A link that leads nowhere is left as the target itself.
std::string ResolveLink(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

// Creates a new, hidden file beside target: ".name.tmp-<pid>-<n>".
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> s_nCounter{0};
    const std::string prefix = FolderOf(target) + "/." +
                               BaseOf(target).substr(0, MAX_BASE_IN_TEMP_NAME) + ".tmp-" +
                               std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + std::to_string(s_nCounter.fetch_add(1));
        const int fd =
            open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1; // errno is EEXIST
}

// Creates the temporary file for a target rewritten in place, in the
// system's temporary folder, readable by this user alone.
int CreateTempElsewhere(const std::string& target, std::string& tempPath) {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                       "/tarvex-" + BaseOf(target).substr(0, MAX_BASE_IN_TEMP_NAME) + ".XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        tempPath = name;
    return fd;
}

bool IsRenameFlagRefused(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

void SyncFolder(const std::string& path) {
    // Makes the rename itself durable; the data is on disk either way, and
    // some filesystems refuse to flush a folder.
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

AtomicFile::AtomicFile(const std::string& targetPath, ReplacePolicy policy) : m_policy(policy) {
    IgnoreFileSizeSignal();
    if (targetPath.empty()) {
        m_openStatus = {ENOENT};
        return;
    }
    struct stat st;
    if (lstat(targetPath.c_str(), &st) != 0) {
        // Anything but "no such file" means the name cannot be judged, for
        // example a folder on the way that may not be searched.
        if (errno != ENOENT) {
            m_openStatus = {errno};
            return;
        }
        m_targetPath = targetPath;
    } else if (policy == ReplacePolicy::KeepExisting) {
        m_openStatus = {EEXIST};
        return;
    } else {
        m_targetPath = ResolveLink(targetPath);
    }

    const bool bExists = stat(m_targetPath.c_str(), &st) == 0;
    if (bExists && S_ISDIR(st.st_mode)) {
        m_openStatus = {EISDIR};
        return;
    }
    // An existing file stays unless this user may write it, as when it is
    // written in place.
    if (bExists && faccessat(AT_FDCWD, m_targetPath.c_str(), W_OK, AT_EACCESS) != 0) {
        m_openStatus = {errno};
        return;
    }
    if (bExists && !S_ISREG(st.st_mode)) {
        m_bDirect = true;
        m_tempPath = m_targetPath;
        do {
            m_fd = open(m_targetPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            m_openStatus = {errno};
        return;
    }

    m_fd = CreateTempBeside(m_targetPath, m_tempPath);
    if (m_fd < 0 && bExists && (errno == EACCES || errno == EPERM)) {
        // The folder takes no new file, but the file may be written.
        const int error = errno;
        m_fd = CreateTempElsewhere(m_targetPath, m_tempPath);
        m_bInPlace = m_fd >= 0;
        errno = error;
    }
    if (m_fd < 0) {
        m_openStatus = {errno};
        return;
    }
    m_bPending = true;
    if (bExists && !m_bInPlace) {
        // The replacement keeps the old file's permission bits and, where
        // this user may give them, its owner and group.
        if (fchmod(m_fd, st.st_mode & 0777) != 0) {
            m_openStatus = {errno};
            Discard();
            return;
        }
        if (fchown(m_fd, st.st_uid, st.st_gid) != 0) {
            // Not the owner's to give: the file becomes this user's.
        }
    }
}

AtomicFile::~AtomicFile() {
    Discard();
}

long WriteSome(int fd, const char* data, std::size_t size) {
    ssize_t n;
    do {
        n = write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

FileStatus AtomicFile::Commit() {
    if (!m_openStatus.Ok())
        return m_openStatus;
    if (m_fd < 0)
        return {EBADF};

    FileStatus status;
    if (fsync(m_fd) != 0 && !(m_bDirect && (errno == EINVAL || errno == EROFS)))
        status = {errno};
    // A library that wrote by name may have put a new file in the place of
    // the one this descriptor holds: that is the one to flush.
    struct stat held, named;
    if (status.Ok() && !m_bDirect && fstat(m_fd, &held) == 0) {
        if (stat(m_tempPath.c_str(), &named) != 0) {
            status = {errno};
        } else if (held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
            const int fd = open(m_tempPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0 || fsync(fd) != 0)
                status = {errno};
            if (fd >= 0)
                close(fd);
        }
    }
    // A failed close may be a lost write; it is never retried, as the
    // descriptor is released either way (EINTR included, on Linux).
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0 && errno != EINTR && status.Ok())
        status = {errno};
    if (m_bDirect)
        return status;

    if (status.Ok())
        status = m_bInPlace ? RewriteInPlaceFrom(m_targetPath, m_tempPath) : Rename();
    if (!status.Ok() || m_bInPlace) {
        Discard();
        return status;
    }
    m_bPending = false;
    SyncFolder(m_targetPath);
    return status;
}

FileStatus AtomicFile::Rename() {
    const char* szTemp = m_tempPath.c_str();
    const char* szTarget = m_targetPath.c_str();
    if (m_policy == ReplacePolicy::Replace)
        return rename(szTemp, szTarget) == 0 ? FileStatus{} : FileStatus{errno};

    // Decided by the filesystem at the moment of the rename: a file that
    // appeared at the target since the creation is never replaced.
    if (renameat2(AT_FDCWD, szTemp, AT_FDCWD, szTarget, RENAME_NOREPLACE) == 0)
        return {};
    if (!IsRenameFlagRefused(errno))
        return {errno};
    // A filesystem without that flag: a hard link fails the same way.
    if (link(szTemp, szTarget) == 0) {
        unlink(szTemp);
        return {};
    }
    if (errno != EPERM && !IsRenameFlagRefused(errno))
        return {errno};
    // Neither (FAT, some network filesystems): the best left is to look
    // just before renaming.
    struct stat st;
    if (lstat(szTarget, &st) == 0)
        return {EEXIST};
    if (errno != ENOENT)
        return {errno};
    return rename(szTemp, szTarget) == 0 ? FileStatus{} : FileStatus{errno};
}

void AtomicFile::Discard() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_bPending) {
        unlink(m_tempPath.c_str());
        m_bPending = false;
    }
}

FileStatus CheckNewFileTarget(const std::string& targetPath, ReplacePolicy policy) {
    // A device or FIFO is not opened to find out: that could block on a FIFO
    // or disturb whoever is at the other end.
    struct stat st;
    if (!targetPath.empty() && stat(targetPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode)) {
        if (policy == ReplacePolicy::KeepExisting)
            return {EEXIST};
        return faccessat(AT_FDCWD, targetPath.c_str(), W_OK, AT_EACCESS) == 0 ? FileStatus{}
                                                                              : FileStatus{errno};
    }
    const AtomicFile probe(targetPath, policy);
    return probe.OpenStatus();
}

void IgnoreFileSizeSignal() {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) != 0)
        return;
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}
