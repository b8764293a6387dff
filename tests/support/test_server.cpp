#include "tests/support/test_server.h"

#include <atomic>
#include <cstdlib>
#include <unistd.h>

#include "history/pg_connection.h"
#include "history/server_store.h"

namespace {

std::string serverLocation() {
    const char* location = std::getenv("TARVEX_TEST_POSTGRES");
    return location ? location : "";
}

} // namespace

std::string ServerDatabase::unavailable() {
    if (serverLocation().empty())
        return "no test server: run the tests under scripts/pg_server.sh (TARVEX_TEST_POSTGRES)";
    return {};
}

ServerDatabase::ServerDatabase(bool setUp) {
    if (!unavailable().empty())
        return;
    static std::atomic<int> made{0};
    m_name = "tarvex_test_" + std::to_string(getpid()) + "_" + std::to_string(++made);
    history::PgConnection admin(serverLocation());
    admin.exec("DROP DATABASE IF EXISTS " + m_name);
    admin.exec("CREATE DATABASE " + m_name, {}, 0);
    // Later words of a connection string win over earlier ones.
    m_location = serverLocation() + " dbname=" + m_name;
    if (setUp)
        history::initServerHistory(m_location);
}

ServerDatabase::~ServerDatabase() {
    if (m_name.empty())
        return;
    try {
        history::PgConnection admin(serverLocation());
        admin.exec("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)", {}, 0);
    } catch (const std::exception&) {
        // The server goes with its folder at the end of the run anyway.
    }
}

std::unique_ptr<history::PgConnection> ServerDatabase::connect() const {
    return std::make_unique<history::PgConnection>(m_location);
}
