#include "platform/profile_file.h"

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

// A new file takes the system's own line end: Windows' profile functions
// write CRLF.
#ifdef _WIN32
constexpr std::string_view NEW_FILE_LINE_END = "\r\n";
#else
constexpr std::string_view NEW_FILE_LINE_END = "\n";
#endif

std::string_view LineEndOf(std::string_view text) {
    std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos)
        return NEW_FILE_LINE_END;
    return nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

bool EndsWithLineEnd(std::string_view text) {
    return !text.empty() && text.back() == '\n';
}

struct KeyLine {
    Line line;
    std::string_view value;
};

// The key's line in the first section of that name (later ones are not
// searched), if it has one.
std::optional<KeyLine> FindKeyLine(std::string_view fileText, std::string_view section,
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
            return KeyLine{line, lineValue};
    }
    return std::nullopt;
}

} // namespace

std::string ProfileGet(std::string_view fileText, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t nSize) {
    if (const std::optional<KeyLine> found = FindKeyLine(fileText, section, key))
        return Cut(found->value, nSize);
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
    if (const std::optional<KeyLine> found = FindKeyLine(fileText, section, key))
        return std::string(fileText.substr(0, found->line.m_nBegin))
            .append(fileText.substr(found->line.m_nNext));
    return std::string(fileText);
}

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
