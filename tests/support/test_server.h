// A database of its own for one test on the throwaway PostgreSQL server that
// scripts/pg_server.sh starts (TARVEX_TEST_POSTGRES). Without that server the
// tests that need one are skipped, unless TARVEX_TEST_POSTGRES_REQUIRED=1
// (the CI script) makes them fail.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace history {
class PgConnection;
}

class ServerDatabase {
public:
    // Creates the database; with setUp, also the history's tables (init).
    explicit ServerDatabase(bool setUp = true);
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    // Why no server is there to use; empty when there is one.
    static std::string unavailable();

    // The history's location in this database (the superuser, a Unix socket).
    const std::string& location() const { return m_location; }
    // A new connection to this database as its superuser.
    std::unique_ptr<history::PgConnection> connect() const;

private:
    std::string m_name;
    std::string m_location;
};

// In a test body: skips (or fails in CI) when no server runs.
#define REQUIRE_TEST_SERVER()                                                                      \
    do {                                                                                           \
        if (const std::string why = ServerDatabase::unavailable(); !why.empty()) {                 \
            if (std::getenv("TARVEX_TEST_POSTGRES_REQUIRED"))                                      \
                FAIL() << why;                                                                     \
            GTEST_SKIP() << why;                                                                   \
        }                                                                                          \
    } while (false)
