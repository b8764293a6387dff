#include "platform/in_place_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/messages.h"

namespace {

// Reads the whole file behind fd from offset 0; false with errno set.
bool ReadWhole(int fd, std::string& text) {
    text.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

// Writes text at offset 0 and cuts the file behind it; 0 or the errno.
int WriteWhole(int fd, std::string_view text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n =
            pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        done += static_cast<std::size_t>(n);
    }
    if (ftruncate(fd, static_cast<off_t>(text.size())) != 0 || fsync(fd) != 0)
        return errno;
    return 0;
}

FileStatus Unchanged(int error) {
    return {error, Msg("its folder takes no new file, so it was to be rewritten in place; it is "
                       "unchanged")};
}

} // namespace

FileStatus RewriteInPlace(const std::string& target, std::string_view text) {
    // The old content is read to be put back on failure; a file this user
    // may write but not read is rewritten without that safety.
    bool bKeepsOld = true;
    int fd = open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 && errno == EACCES) {
        bKeepsOld = false;
        fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    }
    if (fd < 0)
        return Unchanged(errno);
    struct stat st;
    std::string old;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (bKeepsOld && !ReadWhole(fd, old))
        error = errno;
    const auto newSize = static_cast<off_t>(text.size());
    if (error == 0 && newSize > st.st_size)
        error = posix_fallocate(fd, 0, newSize); // a full disk fails here, before any change
    if (error != 0) {
        close(fd);
        return Unchanged(error);
    }
    error = WriteWhole(fd, text);
    FileStatus status;
    if (error != 0) {
        const bool bRestored = bKeepsOld && WriteWhole(fd, old) == 0;
        status = {error, bRestored ? Msg("its folder takes no new file, so it was rewritten in "
                                         "place; that failed, and its old content was put back")
                                   : Msg("its folder takes no new file, so it was rewritten in "
                                         "place; that failed, and the file may now be cut")};
    }
    if (close(fd) != 0 && status.Ok() && errno != EINTR)
        status = {errno, Msg("its folder takes no new file, so it was rewritten in place; the "
                             "last write may be lost")};
    return status;
}

FileStatus RewriteInPlaceFrom(const std::string& target, const std::string& source) {
    const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    std::string text;
    if (fd < 0 || !ReadWhole(fd, text)) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        return Unchanged(error);
    }
    close(fd);
    return RewriteInPlace(target, text);
}
