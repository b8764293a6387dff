// The profile files on disk: read with a size cap, replaced atomically, or
// rewritten in place where the folder may not be written.
#include <algorithm>
#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/in_place_file.h"
#include "platform/profile_file.h"
#include "platform/profile_file_os.h"

namespace {

// Writes text to a temporary file beside target and moves it over target.
// When no temporary file can be made there (a folder the user may not write
// to), an existing file is rewritten in place instead.
bool ReplaceFile(const std::string& target, std::string_view text, bool bExisted) {
    AtomicFile file(target, ReplacePolicy::Replace);
    FileStatus status = file.OpenStatus();
    if (!status.Ok()) {
        if (bExisted)
            status = RewriteInPlace(target, text);
        errno = status.error;
        return status.Ok();
    }
    status = file.Write(text);
    if (status.Ok())
        status = file.Commit();
    errno = status.error;
    return status.Ok();
}

} // namespace

bool ReadCapped(std::size_t sizeHint, std::size_t nCap, const ReadSome& readSome, std::string& text,
                bool& bTooBig) {
    text.assign(std::min(sizeHint, nCap) + 1, '\0');
    bTooBig = false;
    std::size_t nHave = 0;
    while (nHave < text.size()) {
        const long n = readSome(text.data() + nHave, text.size() - nHave);
        if (n < 0) {
            text.clear();
            return false;
        }
        if (n == 0)
            break;
        nHave += static_cast<std::size_t>(n);
        // The file grew since its size was taken: keep reading up to the cap.
        if (nHave == text.size() && text.size() <= nCap)
            text.resize(std::min(text.size() * 2, nCap + 1));
    }
    if (nHave > nCap) {
        bTooBig = true;
        nHave = nCap;
    }
    text.resize(nHave);
    return true;
}

std::string ProfileFileGet(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view def, std::size_t nSize) {
    std::string text;
    bool bTooBig = false;
    if (ReadProfileFile(path, PROFILE_MAX_FILE_SIZE, text, bTooBig) != ProfileRead::OK)
        return ProfileGet(std::string_view(), section, key, def, nSize);
    return ProfileGet(text, section, key, def, nSize);
}

int UpdateProfileFile(const std::string& path, const ProfileUpdate& update) {
    if (path.empty()) {
        errno = ENOENT;
        return 0;
    }
    std::string text;
    bool bTooBig = false;
    const ProfileRead result = ReadProfileFile(path, PROFILE_MAX_FILE_SIZE, text, bTooBig);
    if (result == ProfileRead::FAILED)
        return 0;
    if (bTooBig) {
        errno = EFBIG;
        return 0;
    }
    const bool bExisted = result == ProfileRead::OK;
    if (bExisted && !MayWriteFile(path))
        return 0;
    std::optional<std::string> updated = update(text);
    if (!updated) {
        errno = EINVAL;
        return 0;
    }
    return ReplaceFile(path, *updated, bExisted) ? 1 : 0;
}
