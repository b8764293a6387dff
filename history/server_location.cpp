#include "history/server_location.h"

#include <cctype>

namespace history {

namespace {

// The connection string's words a history location starts with: a file path
// hardly begins with one of these followed by '='.
constexpr const char* CONNECTION_KEYWORDS[] = {
    "service", "host", "hostaddr", "dbname", "port", "user", "sslmode", "options",
};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

bool isServerHistory(const std::string& location) {
    if (startsWith(location, "postgresql://") || startsWith(location, "postgres://"))
        return true;
    size_t start = 0;
    while (start < location.size() && std::isspace(static_cast<unsigned char>(location[start])))
        ++start;
    for (const char* keyword : CONNECTION_KEYWORDS) {
        const std::string word(keyword);
        if (location.compare(start, word.size(), word) != 0)
            continue;
        size_t at = start + word.size();
        while (at < location.size() && location[at] == ' ')
            ++at;
        if (at < location.size() && location[at] == '=')
            return true;
    }
    return false;
}

} // namespace history
