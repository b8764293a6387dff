// One fixture for the tests every store must pass: the history file and, when
// the build has it and a test server runs, the shared history on PostgreSQL.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "history/record_store.h"
#include "tests/support/sim_process.h"
#ifdef TARVEX_TEST_WITH_SERVER
#include "tests/support/test_server.h"
#endif

enum class StoreKind { File, Server };

class StoreContract : public testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override {
        if (GetParam() == StoreKind::File) {
            m_location = m_dir.File("h.sqlite3");
            return;
        }
#ifdef TARVEX_TEST_WITH_SERVER
        REQUIRE_TEST_SERVER();
        m_server = std::make_unique<ServerDatabase>();
        m_location = m_server->location();
#endif
    }

    const std::string& Location() const {
        return m_location;
    }
    std::unique_ptr<history::RecordStore>
    Open(history::OpenMode mode = history::OpenMode::ReadWrite) {
        return history::openHistory(m_location, mode);
    }

private:
    TempDir m_dir;
#ifdef TARVEX_TEST_WITH_SERVER
    std::unique_ptr<ServerDatabase> m_server;
#endif
    std::string m_location;
};

inline std::string StoreName(const testing::TestParamInfo<StoreKind>& info) {
    return info.param == StoreKind::File ? "File" : "Server";
}

#ifdef TARVEX_TEST_WITH_SERVER
#define EVERY_STORE testing::Values(StoreKind::File, StoreKind::Server), StoreName
#else
#define EVERY_STORE testing::Values(StoreKind::File), StoreName
#endif
