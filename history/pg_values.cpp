// Values to and from the server as text: the rows of a result, and the
// parameters (bytea, arrays) a statement takes.
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>

#include "history/pg_connection.h"

namespace history {

PgResult::~PgResult() {
    PQclear(m_result);
}

int PgResult::rows() const {
    return PQntuples(m_result);
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
    return PQgetvalue(m_result, row, column);
}

std::int64_t PgResult::integer(int row, int column) const {
    return isNull(row, column) ? 0 : std::strtoll(PQgetvalue(m_result, row, column), nullptr, 10);
}

std::optional<std::int64_t> PgResult::optionalInteger(int row, int column) const {
    if (isNull(row, column))
        return std::nullopt;
    return integer(row, column);
}

std::vector<std::uint8_t> PgResult::bytes(int row, int column) const {
    // Text output of bytea: \x and two hex digits a byte.
    const char* text = PQgetvalue(m_result, row, column);
    std::vector<std::uint8_t> bytes;
    if (std::strncmp(text, "\\x", 2) != 0)
        return bytes;
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (const char* c = text + 2; c[0] != '\0' && c[1] != '\0'; c += 2)
        bytes.push_back(static_cast<std::uint8_t>(digit(c[0]) << 4 | digit(c[1])));
    return bytes;
}

std::int64_t PgResult::affected() const {
    return std::strtoll(PQcmdTuples(m_result), nullptr, 10);
}

std::string byteaParam(const std::uint8_t* bytes, size_t size) {
    static const char HEX[] = "0123456789abcdef";
    std::string text = "\\x";
    text.reserve(2 + 2 * size);
    for (size_t i = 0; i < size; ++i) {
        text += HEX[bytes[i] >> 4];
        text += HEX[bytes[i] & 0x0F];
    }
    return text;
}

std::string arrayParam(const std::vector<PgParam>& elements) {
    std::string text = "{";
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i > 0)
            text += ',';
        if (!elements[i]) {
            text += "NULL";
            continue;
        }
        text += '"';
        for (const char c : *elements[i]) {
            if (c == '"' || c == '\\')
                text += '\\';
            text += c;
        }
        text += '"';
    }
    return text + "}";
}

} // namespace history
