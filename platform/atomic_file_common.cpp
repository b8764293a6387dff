// What the atomic file does alike on every system.
#include <cerrno>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/atomic_file_os.h"

std::string FileStatus::Reason() const {
    if (error == 0)
        return {};
    return std::generic_category().message(error) + (note.empty() ? "" : "; " + note);
}

FileStatus AtomicFile::Write(std::string_view bytes) {
    if (m_fd < 0)
        return m_openStatus.Ok() ? FileStatus{EBADF} : m_openStatus;
    while (!bytes.empty()) {
        const long nWritten = WriteSome(m_fd, bytes.data(), bytes.size());
        if (nWritten < 0)
            return {errno};
        if (nWritten == 0)
            return {EIO}; // no progress and no error: give up rather than spin
        bytes.remove_prefix(static_cast<std::size_t>(nWritten));
    }
    return {};
}
