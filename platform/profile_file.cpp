#include "platform/profile_file.h"
#include "platform/atomic_file.h"
#include "platform/in_place_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

// One line of the file: [m_nBegin, m_nEnd) is its content without the line
// end, m_nNext the start of the next line (text size for the last one).
struct Line {
    std::size_t m_nBegin;
    std::size_t m_nEnd;
    std::size_t m_nNext;
};

// Walks the lines of a text; a last line without a line end counts too.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    bool Next(Line& line) {
        if (m_nPos >= m_text.size())
            return false;
        std::size_t nl = m_text.find('\n', m_nPos);
        line.m_nBegin = m_nPos;
        if (nl == std::string_view::npos) {
            line.m_nEnd = line.m_nNext = m_text.size();
        } else {
            line.m_nEnd = (nl > m_nPos && m_text[nl - 1] == '\r') ? nl - 1 : nl;
            line.m_nNext = nl + 1;
        }
        m_nPos = line.m_nNext;
        return true;
    }

    std::string_view Content(const Line& line) const {
        return m_text.substr(line.m_nBegin, line.m_nEnd - line.m_nBegin);
    }

private:
    std::string_view m_text;
    std::size_t m_nPos = 0;
};

// The name of a section header line ("[name]", blanks allowed around the
// brackets and the name), or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view content) {
    std::string_view s = Trim(content);
    if (s.empty() || s.front() != '[')
        return std::nullopt;
    std::size_t close = s.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(s.substr(1, close - 1));
}

// The key and value of a "key = value" line, or nothing for a comment, a
// blank line or a line without '='.
bool SplitKeyLine(std::string_view content, std::string_view& key, std::string_view& value) {
    std::string_view s = Trim(content);
    if (s.empty() || s.front() == ';')
        return false;
    std::size_t eq = s.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(s.substr(0, eq));
    value = Trim(s.substr(eq + 1));
    return true;
}

std::string Cut(std::string_view s, std::size_t nSize) {
    if (nSize == 0)
        return std::string();
    return std::string(s.substr(0, nSize - 1));
}

bool HasAny(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

std::string_view LineEndOf(std::string_view text) {
    std::size_t nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

bool EndsWithLineEnd(std::string_view text) {
    return !text.empty() && text.back() == '\n';
}

// --- files ---

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

std::string ProfileGet(std::string_view fileText, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t nSize) {
    section = Trim(section);
    key = Trim(key);
    LineReader reader(fileText);
    Line line;
    bool bInSection = false;
    while (reader.Next(line)) {
        std::string_view content = reader.Content(line);
        if (std::optional<std::string_view> name = SectionName(content)) {
            // Only the first section of that name is searched.
            if (bInSection)
                break;
            bInSection = EqualNoCase(*name, section);
            continue;
        }
        std::string_view lineKey, lineValue;
        if (bInSection && SplitKeyLine(content, lineKey, lineValue) && EqualNoCase(lineKey, key))
            return Cut(lineValue, nSize);
    }
    return Cut(def, nSize);
}

std::optional<std::string> ProfileSet(std::string_view fileText, std::string_view section,
                                      std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    const std::string_view lineBreaks("\r\n\0", 3);
    if (section.empty() || key.empty() || HasAny(section, lineBreaks) || HasAny(section, "]") ||
        HasAny(key, lineBreaks) || HasAny(key, "=") || key.front() == '[' || key.front() == ';' ||
        HasAny(value, lineBreaks))
        return std::nullopt;

    const std::string_view eol = LineEndOf(fileText);
    LineReader reader(fileText);
    Line line;
    bool bInSection = false;
    std::optional<Line> lastFilled; // last non-blank line of the matching section
    while (reader.Next(line)) {
        std::string_view content = reader.Content(line);
        if (std::optional<std::string_view> name = SectionName(content)) {
            if (bInSection)
                break;
            bInSection = EqualNoCase(*name, section);
            if (bInSection)
                lastFilled = line;
            continue;
        }
        if (!bInSection)
            continue;
        std::string_view lineKey, lineValue;
        if (SplitKeyLine(content, lineKey, lineValue) && EqualNoCase(lineKey, key)) {
            // Keeps the key's spelling from the file and the line's own end.
            std::string out(fileText.substr(0, line.m_nBegin));
            out.append(lineKey).append("=").append(value);
            out.append(fileText.substr(line.m_nEnd));
            return out;
        }
        if (!Trim(content).empty())
            lastFilled = line;
    }

    std::string out;
    if (lastFilled) {
        std::size_t pos = lastFilled->m_nNext;
        out.assign(fileText.substr(0, pos));
        if (!EndsWithLineEnd(out))
            out.append(eol);
        out.append(key).append("=").append(value).append(eol);
        out.append(fileText.substr(pos));
        return out;
    }
    out.assign(fileText);
    if (!out.empty() && !EndsWithLineEnd(out))
        out.append(eol);
    out.append("[").append(section).append("]").append(eol);
    out.append(key).append("=").append(value).append(eol);
    return out;
}

std::string ProfileDelete(std::string_view fileText, std::string_view section,
                          std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    LineReader reader(fileText);
    Line line;
    bool bInSection = false;
    while (reader.Next(line)) {
        std::string_view content = reader.Content(line);
        if (std::optional<std::string_view> name = SectionName(content)) {
            if (bInSection)
                break;
            bInSection = EqualNoCase(*name, section);
            continue;
        }
        std::string_view lineKey, lineValue;
        if (bInSection && SplitKeyLine(content, lineKey, lineValue) && EqualNoCase(lineKey, key))
            return std::string(fileText.substr(0, line.m_nBegin))
                .append(fileText.substr(line.m_nNext));
    }
    return std::string(fileText);
}

std::string ProfileFileGet(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view def, std::size_t nSize) {
    std::string text;
    bool bTooBig = false;
    struct stat st;
    if (ReadFileText(path, PROFILE_MAX_FILE_SIZE, text, bTooBig, st) != ReadResult::OK)
        return ProfileGet(std::string_view(), section, key, def, nSize);
    return ProfileGet(text, section, key, def, nSize);
}

namespace {

// Reads the file at path, applies update to its text and replaces the file
// with the result.
int UpdateProfileFile(const std::string& path,
                      const std::function<std::optional<std::string>(const std::string&)>& update) {
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

} // namespace

int ProfileFileSet(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value) {
    return UpdateProfileFile(
        path, [&](const std::string& text) { return ProfileSet(text, section, key, value); });
}

int ProfileFileDelete(const std::string& path, std::string_view section, std::string_view key) {
    if (ProfileFileGet(path, section, key, "\n", 2) == "\n")
        return 1; // no such key (or no file): nothing to write
    return UpdateProfileFile(path, [&](const std::string& text) {
        return std::optional<std::string>(ProfileDelete(text, section, key));
    });
}
