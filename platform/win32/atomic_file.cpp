// Files the user keeps on Windows: a temporary file beside the target,
// flushed, then moved over the target by MoveFileExW (write-through). With
// KeepExisting the move is told not to replace, so a file that appeared at
// the target meanwhile is never overwritten. Paths are UTF-8, opened wide.
#include "platform/atomic_file.h"
#include "platform/atomic_file_os.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>

#include "platform/win32/wide_text.h"

namespace {

// Room left in a file name for the temporary file's prefix and suffix.
constexpr std::size_t MAX_BASE_IN_TEMP_NAME = 200;

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = LastSeparator(path);
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new file beside target: ".name.tmp-<pid>-<n>". A CRT
// descriptor, shared for reading and writing so libraries may open it by name.
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> s_nCounter{0};
    const std::string prefix = FolderOf(target) + "/." +
                               BaseOf(target).substr(0, MAX_BASE_IN_TEMP_NAME) + ".tmp-" +
                               std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + std::to_string(s_nCounter.fetch_add(1));
        const int fd = ::_wopen(Widen(tempPath).c_str(),
                                _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1; // errno is EEXIST
}

} // namespace

AtomicFile::AtomicFile(const std::string& targetPath, ReplacePolicy policy) : m_policy(policy) {
    if (targetPath.empty()) {
        m_openStatus = {ENOENT};
        return;
    }
    m_targetPath = targetPath;
    const DWORD attributes = ::GetFileAttributesW(Widen(targetPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Anything but "no such file" means the name cannot be judged; a
        // missing folder is told when the temporary file is made.
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            m_openStatus = {ErrnoOfWin32Error(error)};
            return;
        }
    } else if (policy == ReplacePolicy::KeepExisting) {
        m_openStatus = {EEXIST};
        return;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        m_openStatus = {EISDIR};
        return;
    } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // An existing file stays unless it may be written, as in place.
        m_openStatus = {EACCES};
        return;
    }

    m_fd = CreateTempBeside(m_targetPath, m_tempPath);
    if (m_fd < 0) {
        m_openStatus = {errno};
        return;
    }
    m_bPending = true;
}

AtomicFile::~AtomicFile() {
    Discard();
}

long WriteSome(int fd, const char* data, std::size_t size) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    return ::_write(fd, data, chunk);
}

FileStatus AtomicFile::Commit() {
    if (!m_openStatus.Ok())
        return m_openStatus;
    if (m_fd < 0)
        return {EBADF};

    FileStatus status;
    if (::_commit(m_fd) != 0)
        status = {errno};
    const int fd = m_fd;
    m_fd = -1;
    if (::_close(fd) != 0 && status.Ok())
        status = {errno};
    if (status.Ok())
        status = Rename();
    if (!status.Ok()) {
        Discard();
        return status;
    }
    m_bPending = false;
    return status;
}

FileStatus AtomicFile::Rename() {
    // A library that wrote by name may have left its own file there: it is
    // flushed by the write-through move as well.
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (m_policy == ReplacePolicy::Replace)
        flags |= MOVEFILE_REPLACE_EXISTING;
    if (::MoveFileExW(Widen(m_tempPath).c_str(), Widen(m_targetPath).c_str(), flags))
        return {};
    return {ErrnoOfWin32Error(::GetLastError())};
}

void AtomicFile::Discard() {
    if (m_fd >= 0) {
        ::_close(m_fd);
        m_fd = -1;
    }
    if (m_bPending) {
        ::DeleteFileW(Widen(m_tempPath).c_str());
        m_bPending = false;
    }
}

FileStatus CheckNewFileTarget(const std::string& targetPath, ReplacePolicy policy) {
    const AtomicFile probe(targetPath, policy);
    return probe.OpenStatus();
}

void IgnoreFileSizeSignal() {
    // Windows has no file-size signal: a write over a quota fails by itself.
}
