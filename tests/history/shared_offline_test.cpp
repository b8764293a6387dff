// tarvex-read against a shared history that cannot take the download: a
// server that is down, one that accepts and never answers, an unknown
// database and a wrong password. The results file is always written, the
// user is told within seconds, the status says so, and the download waits in
// this PC's history until a later download (or tarvex-history push) reaches
// the server: then every record is there once. The cases that need a server
// run under scripts/pg_server.sh (TARVEX_TEST_POSTGRES); the others always.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "archive/archive_record.h"
#include "history/history_path.h"
#include "history/pending_downloads.h"
#include "history/record_store.h"
#include "history/server_store.h"
#ifdef TARVEX_TEST_WITH_SERVER
#include "history/pg_connection.h"
#include "tests/support/test_server.h"
#endif
#include "tests/e2e/reader_process.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int RECORD_BYTES = 32;
constexpr int COUNT = 20;
// Generous for a loaded two-core machine; the connection gives up after 5 s.
constexpr double TOLD_WITHIN_SECONDS = 20;

std::string Archive(const TempDir& dir) {
    const std::string dump = dir.File("archive.bin");
    EXPECT_EQ(std::system((TARVEX_SIM_PATH " --seed 7 --dump-archive " + dump).c_str()), 0);
    return ReadFile(dump);
}

// Distinct reportable records in slots first .. first + count - 1.
std::set<std::string> Reportable(const std::string& archive, int first, int count) {
    std::set<std::string> records;
    for (int k = first; k < first + count; ++k) {
        ArchiveRecord r{};
        std::memcpy(r.bytes, archive.data() + 56 + RECORD_BYTES * k, RECORD_BYTES);
        if (r.IsReportable())
            records.emplace(reinterpret_cast<const char*>(r.bytes), RECORD_BYTES);
    }
    return records;
}

// This PC's history and the libpq files live in the test's folder.
class SharedOffline : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_dir.Path().c_str(), 1);
        setenv("PGSERVICEFILE", m_dir.File("pg_service.conf").c_str(), 1);
        setenv("PGPASSFILE", m_dir.File("pgpass").c_str(), 1);
        m_local = history::localHistoryPath();
        m_archive = Archive(m_dir);
    }
    void TearDown() override {
        for (const char* name : {"XDG_DATA_HOME", "PGSERVICEFILE", "PGPASSFILE"})
            unsetenv(name);
    }

    struct Timed {
        ReaderRun run;
        double seconds;
    };
    // COUNT records ending before position, paced, into the shared history.
    Timed Download(int position, const std::string& location) {
        SimProcess sim(
            {"--seed", "7", "--position", std::to_string(position), "--link", m_dir.File("dev")});
        const auto start = std::chrono::steady_clock::now();
        ReaderRun run =
            RunReader({"--device", m_dir.File("dev"), "--count", std::to_string(COUNT), "--output",
                       m_dir.File("out.doc"), "--force", "--database", location},
                      m_dir.Path());
        return {run,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    }

    // The file is written whatever became of the history, and the download waits here.
    void ExpectWaiting(const Timed& t, int status, const char* told, std::int64_t waiting) {
        EXPECT_EQ(t.run.status, status) << t.run.err;
        EXPECT_NE(t.run.out.find("out.doc: 20 records"), std::string::npos) << t.run.out;
        EXPECT_GT(ReadFile(m_dir.File("out.doc")).size(), 0u);
        EXPECT_NE(t.run.err.find(told), std::string::npos) << t.run.err;
        EXPECT_NE(t.run.err.find("waits in this PC's history (" + m_local + ")"), std::string::npos)
            << t.run.err;
        EXPECT_LT(t.seconds, TOLD_WITHIN_SECONDS);
        EXPECT_EQ(history::pendingCount(m_local), waiting);
    }

    TempDir m_dir;
    std::string m_local;
    std::string m_archive;
};

// Accepts connections (the kernel does, into the backlog) and never answers.
class SilentServer {
public:
    explicit SilentServer(const std::string& folder) {
        mkdir(folder.c_str(), 0700);
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = folder + "/.s.PGSQL.5432";
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(m_fd, 16), 0);
    }
    ~SilentServer() { close(m_fd); }

private:
    int m_fd = -1;
};

TEST_F(SharedOffline, ServerDownOrSilentTheDownloadWaitsHere) {
    mkdir(m_dir.File("down").c_str(), 0700); // a socket folder with no server in it
    const Timed down = Download(100, "host=" + m_dir.File("down") + " port=5432 dbname=tarvex");
    ExpectWaiting(down, 8, "the shared history cannot be reached", 1);

    const SilentServer silent(m_dir.File("silent"));
    const Timed hung = Download(120, "host=" + m_dir.File("silent") + " port=5432 dbname=tarvex");
    ExpectWaiting(hung, 8, "the shared history cannot be reached", 2);

    // Both are in this PC's history, each with its records.
    auto local = history::openHistory(m_local, history::OpenMode::ReadOnly);
    EXPECT_EQ(local->stats().downloads, 2);
    EXPECT_EQ(static_cast<size_t>(local->stats().records), Reportable(m_archive, 80, 40).size());
}

#ifdef TARVEX_TEST_WITH_SERVER
TEST_F(SharedOffline, RefusedThenBackEveryDownloadGoesOnce) {
    REQUIRE_TEST_SERVER();
    const ServerDatabase database;
    const std::string& shared = database.location();
    const std::string admin = std::getenv("TARVEX_TEST_POSTGRES");
    // Later words of a connection string win over earlier ones.
    const auto sql = database.connect();
    sql->exec("DROP ROLE IF EXISTS tarvex_pw");
    sql->exec("CREATE ROLE tarvex_pw LOGIN PASSWORD 'right'");
    // The role with a password has to give it; everyone else is trusted.
    const std::string hba = sql->exec("SHOW hba_file").text(0, 0);
    const std::string rules = ReadFile(hba);
    std::ofstream(hba) << "local all tarvex_pw scram-sha-256\n" << rules;
    sql->exec("SELECT pg_reload_conf()");

    const Timed unknown = Download(140, admin + " dbname=tarvex_none");
    ExpectWaiting(unknown, 9, "the shared history refused the connection", 1);
    EXPECT_NE(unknown.run.err.find(".pgpass"), std::string::npos) << unknown.run.err;

    std::ofstream(m_dir.File("pgpass")) << "*:*:*:tarvex_pw:wrong\n";
    chmod(m_dir.File("pgpass").c_str(), 0600);
    const Timed wrong =
        Download(160, admin + " user=tarvex_pw dbname=" + shared.substr(shared.rfind('=') + 1));
    std::ofstream(hba) << rules;
    sql->exec("SELECT pg_reload_conf()");
    ExpectWaiting(wrong, 9, "the shared history refused the connection", 2);
    EXPECT_NE(wrong.run.err.find("password authentication failed"), std::string::npos)
        << wrong.run.err;

    // Back: the next download sends both first, then goes itself.
    const Timed back = Download(180, shared);
    EXPECT_EQ(back.run.status, 0) << back.run.err;
    EXPECT_NE(back.run.err.find("2 downloads that waited on this PC went to the shared history"),
              std::string::npos)
        << back.run.err;
    EXPECT_EQ(history::pendingCount(m_local), 0);
    auto store = history::openHistory(shared, history::OpenMode::ReadOnly);
    EXPECT_EQ(store->stats().downloads, 3);
    std::multiset<std::string> stored;
    store->forEachRecord({}, [&](const history::StoredRecord& s) {
        stored.emplace(reinterpret_cast<const char*>(s.record.bytes), RECORD_BYTES);
        return true;
    });
    const std::set<std::string> expected = Reportable(m_archive, 120, 60);
    EXPECT_EQ(stored.size(), expected.size()); // each once
    EXPECT_EQ(std::set<std::string>(stored.begin(), stored.end()), expected);
}

// Runs tarvex-history with this PC's history in the test's folder.
ReaderRun History(const std::string& args, const std::string& folder) {
    const std::string out = folder + "/history.out";
    const std::string err = folder + "/history.err";
    const int wstatus = std::system(
        ("'" TARVEX_HISTORY_PATH "' " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, ReadFile(out), ReadFile(err)};
}

// The server drops the connection in the middle of the merge (its backend
// ended while the merge waits for a table another session holds): nothing of
// it stays on the server, the download waits here and goes at the next push.
TEST_F(SharedOffline, ServerGoneMidMergeKeepsNothingHalfWritten) {
    REQUIRE_TEST_SERVER();
    const ServerDatabase database;
    const auto holder = database.connect();
    holder->exec("BEGIN");
    holder->exec("LOCK TABLE tarvex.sightings IN ACCESS EXCLUSIVE MODE");
    Timed cut;
    std::thread reader([&] { cut = Download(200, database.location()); });
    const auto watcher = database.connect();
    bool ended = false;
    for (int tries = 0; tries < 600 && !ended; ++tries) {
        const auto waiting = watcher->exec("SELECT pid FROM pg_stat_activity WHERE datname = "
                                           "current_database() AND wait_event_type = 'Lock'");
        if (waiting.rows() > 0)
            ended =
                watcher->exec("SELECT pg_terminate_backend(" + waiting.text(0, 0) + ")").rows() ==
                1;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    reader.join();
    holder->exec("ROLLBACK");
    ASSERT_TRUE(ended);
    ExpectWaiting(cut, 8, "the shared history cannot be reached", 1);
    auto store = history::openHistory(database.location(), history::OpenMode::ReadOnly);
    EXPECT_EQ(store->stats().downloads, 0);
    EXPECT_EQ(store->stats().records, 0);

    const ReaderRun push = History("push --database '" + database.location() + "'", m_dir.Path());
    EXPECT_EQ(push.status, 0) << push.err;
    EXPECT_NE(push.out.find("1 download added"), std::string::npos) << push.out;
    EXPECT_EQ(history::pendingCount(m_local), 0);
    EXPECT_EQ(store->stats().downloads, 1);
    EXPECT_EQ(static_cast<size_t>(store->stats().records), Reportable(m_archive, 180, 20).size());
}

// A PC's own history moved into the shared one: twice adds nothing, the
// instrument keeps its name; push with nothing waiting says so.
TEST_F(SharedOffline, ImportTwiceIsImportOnce) {
    REQUIRE_TEST_SERVER();
    const ServerDatabase database;
    const std::string pc = m_dir.File("pc.sqlite3");
    {
        auto local = history::openHistory(pc, history::OpenMode::ReadWrite);
        history::DownloadEntry entry;
        entry.port = "COM3";
        entry.device = "/dev/ttyUSB0";
        for (int k = 0; k < 2; ++k) {
            std::vector<ArchiveRecord> records;
            for (int slot = 100 * k; slot < 100 * k + 150; ++slot) {
                records.emplace_back();
                std::memcpy(records.back().bytes, m_archive.data() + 56 + RECORD_BYTES * slot,
                            RECORD_BYTES);
            }
            entry.time = 1700000000 + k;
            entry.count = entry.position = static_cast<int>(records.size());
            const auto outcome = local->mergeDownload(entry, records);
            if (k == 0)
                local->nameInstrument(outcome.instrumentId, "SN-4471");
        }
    }
    const std::string args = "import '" + pc + "' --database '" + database.location() + "'";
    const ReaderRun first = History(args, m_dir.Path());
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("2 downloads added"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("1 instrument took its name"), std::string::npos) << first.out;
    const ReaderRun second = History(args, m_dir.Path());
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("0 downloads added (0 new records, 0 already there), 2 downloads "
                              "there already"),
              std::string::npos)
        << second.out;
    auto store = history::openHistory(database.location(), history::OpenMode::ReadOnly);
    EXPECT_EQ(store->stats().downloads, 2);
    EXPECT_EQ(static_cast<size_t>(store->stats().records), Reportable(m_archive, 0, 250).size());
    ASSERT_EQ(store->instruments().size(), 1u);
    EXPECT_EQ(store->instruments()[0].name, "SN-4471");

    const ReaderRun push = History("push --database '" + database.location() + "'", m_dir.Path());
    EXPECT_EQ(push.status, 0) << push.err;
    EXPECT_NE(push.out.find("Nothing waits on this PC"), std::string::npos) << push.out;
}
#endif

} // namespace
