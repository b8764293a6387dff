// The profile files on disk, on POSIX: the read and the write check.
#include "platform/profile_file_os.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// O_NONBLOCK keeps a FIFO in the file's place from hanging the open.
ProfileRead ReadProfileFile(const std::string& path, std::size_t nCap, std::string& text,
                            bool& bTooBig) {
    struct stat st {};
    text.clear();
    bTooBig = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ProfileRead::MISSING : ProfileRead::FAILED;
    const bool bStat = fstat(fd, &st) == 0;
    if (!bStat || !S_ISREG(st.st_mode)) {
        const int nError = !bStat ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = nError;
        return ProfileRead::FAILED;
    }
    const bool bRead = ReadCapped(
        static_cast<std::size_t>(st.st_size), nCap,
        [fd](char* buffer, std::size_t size) -> long {
            ssize_t n;
            do {
                n = read(fd, buffer, size);
            } while (n < 0 && errno == EINTR);
            return static_cast<long>(n);
        },
        text, bTooBig);
    const int nError = errno;
    close(fd);
    errno = nError;
    return bRead ? ProfileRead::OK : ProfileRead::FAILED;
}

bool MayWriteFile(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}
