// Reads and rewrites arbitrary profile texts with arbitrary names and values.
// After an accepted ProfileSet the value reads back (without the blanks
// around it, which the format ignores), and the new text is the
// old one with exactly one line changed, one key line inserted, or one
// section of one key appended; every other line is kept byte for byte.
//
// Input: bytes 0..2 are the lengths (modulo 16) of section, key and value,
// byte 3 the read size limit; then those three texts; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/profile_file.h"

namespace {

// Lines with their line ends kept; a last line may have none.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const size_t n = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(0, n));
        text.remove_prefix(n);
    }
    return lines;
}

std::string_view LineEnd(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n")
        return line.substr(line.size() - 2);
    if (!line.empty() && line.back() == '\n')
        return line.substr(line.size() - 1);
    return {};
}

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

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// A "key=value" line: the key may keep the file's spelling (case), nothing else.
bool IsKeyLine(std::string_view line, std::string_view key, std::string_view value) {
    line.remove_suffix(LineEnd(line).size());
    return line.size() == key.size() + 1 + value.size() &&
           EqualNoCase(line.substr(0, key.size()), key) && line[key.size()] == '=' &&
           line.substr(key.size() + 1) == value;
}

// a equals b, or b is a with a line end added (only a last line without one may gain it).
bool SameOrTerminated(std::string_view a, std::string_view b, bool bLastOld, std::string_view eol) {
    return a == b || (bLastOld && LineEnd(a).empty() && b.size() == a.size() + eol.size() &&
                      b.substr(0, a.size()) == a && b.substr(a.size()) == eol);
}

// True when newLines is oldLines with newLines[at] inserted (the old line in
// front of it may have gained a line end if it was the last one).
bool IsInsertion(const std::vector<std::string_view>& oldLines,
                 const std::vector<std::string_view>& newLines, size_t at, std::string_view eol) {
    if (at >= newLines.size())
        return false;
    for (size_t i = 0, j = 0; i < oldLines.size(); ++i, ++j) {
        if (j == at)
            ++j;
        if (!SameOrTerminated(oldLines[i], newLines[j], i + 1 == oldLines.size(), eol))
            return false;
    }
    return true;
}

void CheckRewrite(std::string_view oldText, const std::string& newText, std::string_view section,
                  std::string_view key, std::string_view value) {
    const std::vector<std::string_view> oldLines = Lines(oldText);
    const std::vector<std::string_view> newLines = Lines(newText);
    // New lines take the line end of the file's first line.
    const std::string_view eol =
        !oldLines.empty() && LineEnd(oldLines[0]) == "\r\n" ? "\r\n" : "\n";

    size_t first = 0; // first line that differs
    while (first < oldLines.size() && first < newLines.size() && oldLines[first] == newLines[first])
        ++first;

    if (newLines.size() == oldLines.size()) {
        // One key line replaced in place, keeping its own line end.
        if (first == oldLines.size())
            return;
        FUZZ_CHECK(IsKeyLine(newLines[first], key, value));
        FUZZ_CHECK(LineEnd(newLines[first]) == LineEnd(oldLines[first]));
        for (size_t i = first + 1; i < oldLines.size(); ++i)
            FUZZ_CHECK(oldLines[i] == newLines[i]);
    } else if (newLines.size() == oldLines.size() + 1) {
        // One key line inserted into the section.
        const bool bAtFirst = IsInsertion(oldLines, newLines, first, eol);
        const size_t at = bAtFirst ? first : first + 1;
        FUZZ_CHECK(bAtFirst || IsInsertion(oldLines, newLines, at, eol));
        FUZZ_CHECK(newLines[at] == std::string(key) + "=" + std::string(value) + std::string(eol));
    } else {
        // The section appended at the end with its one key.
        FUZZ_CHECK(newLines.size() == oldLines.size() + 2);
        const size_t at = oldLines.size();
        FUZZ_CHECK(IsInsertion(oldLines, newLines, at, eol));
        FUZZ_CHECK(newLines[at] == "[" + std::string(section) + "]" + std::string(eol));
        FUZZ_CHECK(newLines[at + 1] ==
                   std::string(key) + "=" + std::string(value) + std::string(eol));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const size_t nSection = data[0] % 16, nKey = data[1] % 16, nValue = data[2] % 16;
    const size_t nSize = data[3];
    if (size < 4 + nSection + nKey + nValue)
        return 0;
    const char* text = reinterpret_cast<const char*>(data) + 4;
    const std::string_view section(text, nSection);
    const std::string_view key(text + nSection, nKey);
    const std::string_view value(text + nSection + nKey, nValue);
    const std::string_view file(text + nSection + nKey + nValue,
                                size - 4 - nSection - nKey - nValue);

    const std::string got = ProfileGet(file, section, key, "default", nSize);
    FUZZ_CHECK(got.size() < std::max<size_t>(nSize, 1));

    const std::optional<std::string> updated = ProfileSet(file, section, key, value);
    if (!updated)
        return 0;
    // Read back in full: the value as written, less the blanks around it
    // that every reader of the format ignores.
    const std::string readBack = ProfileGet(*updated, section, key, "\x01missing", 1 << 20);
    FUZZ_CHECK(readBack == Trim(value));
    CheckRewrite(file, *updated, Trim(section), Trim(key), value);
    return 0;
}
