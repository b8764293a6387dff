// The profile files on disk, on POSIX: the read and the write check.
#include "platform/profile_file_os.h"

#include <algorithm>
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
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ProfileRead::MISSING : ProfileRead::FAILED;
    const bool bStat = fstat(fd, &st) == 0;
    if (!bStat || !S_ISREG(st.st_mode)) {
        const int nError = !bStat ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = nError;
        return ProfileRead::FAILED;
    }
    std::size_t nWant = static_cast<std::size_t>(st.st_size) < nCap
                            ? static_cast<std::size_t>(st.st_size) + 1
                            : nCap + 1;
    text.resize(nWant);
    std::size_t nHave = 0;
    while (nHave < text.size()) {
        ssize_t n = read(fd, text.data() + nHave, text.size() - nHave);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int nError = errno;
            close(fd);
            errno = nError;
            text.clear();
            return ProfileRead::FAILED;
        }
        if (n == 0)
            break;
        nHave += static_cast<std::size_t>(n);
        // The file grew since fstat: keep reading up to the cap.
        if (nHave == text.size() && text.size() <= nCap)
            text.resize(std::min(text.size() * 2, nCap + 1));
    }
    close(fd);
    if (nHave > nCap) {
        bTooBig = true;
        nHave = nCap;
    }
    text.resize(nHave);
    return ProfileRead::OK;
}

bool MayWriteFile(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}
