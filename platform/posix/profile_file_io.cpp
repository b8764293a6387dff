// The profile files on disk, on POSIX: read with a size cap, replaced
// atomically (or rewritten in place where the folder may not be written).
#include "platform/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/in_place_file.h"

namespace {

enum class ReadResult { OK, MISSING, FAILED };

// Reads a regular file whole, up to nCap bytes; bTooBig tells that there was
// more. O_NONBLOCK keeps a FIFO in the file's place from hanging the open.
ReadResult ReadFileText(const std::string& path, std::size_t nCap, std::string& text, bool& bTooBig,
                        struct stat& st) {
    text.clear();
    bTooBig = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::MISSING : ReadResult::FAILED;
    const bool bStat = fstat(fd, &st) == 0;
    if (!bStat || !S_ISREG(st.st_mode)) {
        const int nError = !bStat ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = nError;
        return ReadResult::FAILED;
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
            return ReadResult::FAILED;
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
    return ReadResult::OK;
}

// Writes text to a temporary file beside target and renames it over target,
// keeping the old file's permission bits. When no temporary file can be made
// there (a folder the user may not write to), an existing file is rewritten
// in place instead. A symbolic link stays; the file it leads to is replaced.
bool ReplaceFile(const std::string& target, std::string_view text, bool bExisted) {
    AtomicFile file(target, ReplacePolicy::Replace);
    FileStatus status = file.OpenStatus();
    if (!status.Ok()) {
        if (bExisted) {
            status = RewriteInPlace(target, text);
            errno = status.error;
            return status.Ok();
        }
        errno = status.error;
        return false;
    }
    status = file.Write(text);
    if (status.Ok())
        status = file.Commit();
    errno = status.error;
    return status.Ok();
}

} // namespace

std::string ProfileFileGet(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view def, std::size_t nSize) {
    std::string text;
    bool bTooBig = false;
    struct stat st;
    if (ReadFileText(path, PROFILE_MAX_FILE_SIZE, text, bTooBig, st) != ReadResult::OK)
        return ProfileGet(std::string_view(), section, key, def, nSize);
    return ProfileGet(text, section, key, def, nSize);
}

int UpdateProfileFile(const std::string& path, const ProfileUpdate& update) {
    if (path.empty()) {
        errno = ENOENT;
        return 0;
    }
    const std::string& target = path;
    std::string text;
    bool bTooBig = false;
    struct stat st {};
    ReadResult result = ReadFileText(target, PROFILE_MAX_FILE_SIZE, text, bTooBig, st);
    if (result == ReadResult::FAILED)
        return 0;
    if (bTooBig) {
        errno = EFBIG;
        return 0;
    }
    const bool bExisted = result == ReadResult::OK;
    // A file made read-only is left alone, as the Windows functions do.
    if (bExisted && access(target.c_str(), W_OK) != 0)
        return 0;
    std::optional<std::string> updated = update(text);
    if (!updated) {
        errno = EINVAL;
        return 0;
    }
    return ReplaceFile(target, *updated, bExisted) ? 1 : 0;
}
