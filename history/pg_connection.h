// One connection to a PostgreSQL server through libpq. It never waits without
// a limit: connecting gives up after connect_timeout (5 s unless the location
// says otherwise) and a statement after its own limit. Every failure becomes
// a history::Error that names the server and says what to do.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/record_store.h"

struct pg_conn;
struct pg_result;

namespace history {

// A failure with the server's SQLSTATE ("40P01"; empty when the server gave none).
class PgError : public Error {
public:
    PgError(Kind kind, const std::string& message, std::string sqlState)
        : Error(kind, message), m_sqlState(std::move(sqlState)) {}
    const std::string& sqlState() const { return m_sqlState; }
    // A deadlock or a serialization failure: the transaction may simply be run again.
    bool worthRetrying() const { return m_sqlState == "40P01" || m_sqlState == "40001"; }

private:
    std::string m_sqlState;
};

// The rows of one statement, as text (NULL as nullopt).
class PgResult {
public:
    explicit PgResult(pg_result* result) : m_result(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : m_result(other.m_result) { other.m_result = nullptr; }
    PgResult& operator=(PgResult&&) = delete;
    PgResult(const PgResult&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::int64_t integer(int row, int column) const; // 0 for NULL
    std::optional<std::int64_t> optionalInteger(int row, int column) const;
    std::vector<std::uint8_t> bytes(int row, int column) const; // a bytea column
    std::int64_t affected() const;                              // rows an INSERT/UPDATE changed

private:
    pg_result* m_result;
};

// A parameter of a statement, as text; nullopt is NULL.
using PgParam = std::optional<std::string>;

// A statement's limit when the server stops answering midway.
constexpr int STATEMENT_LIMIT_MS = 60000;

class PgConnection {
public:
    // Throws Error: BadLocation (a password in it), Unreachable, Refused.
    explicit PgConnection(const std::string& location);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // One statement with parameters $1...; limitMs 0 waits as long as it takes.
    PgResult exec(const std::string& sql, const std::vector<PgParam>& params = {},
                  int limitMs = STATEMENT_LIMIT_MS);
    // Statements without parameters, run one after the other.
    void script(const std::string& sql, int limitMs = STATEMENT_LIMIT_MS);

    // The location as given (it holds no password): how messages name the server.
    const std::string& location() const { return m_location; }
    // Server, database, role and whether the connection is encrypted.
    std::string describe() const;

private:
    [[noreturn]] void fail(pg_result* result, const std::string& doing);
    pg_result* await(int limitMs, const std::string& doing);

    pg_conn* m_conn = nullptr;
    std::string m_location;
};

// Runs body (one transaction: BEGIN ... COMMIT) and runs it again, after a
// short random pause, when the server broke it off for a deadlock or a
// serialization failure; a few times, then the failure stands (Busy).
void inTransaction(PgConnection& db, const std::function<void()>& body);

// bytea as a text parameter: \x and hex digits.
std::string byteaParam(const std::uint8_t* bytes, size_t size);
// A text[] array literal of the given (already text) elements, NULL for nullopt.
std::string arrayParam(const std::vector<PgParam>& elements);

} // namespace history
