// The history file itself: programs creating it at once, every older layout
// brought up to date, and files it must not change or cannot write: another
// program's, a folder, read-only media, lock files left by another user, a
// damaged history and its recovery, a copy taken while it is in use.
#include "history/download_history.h"
#include "history/history_care.h"
#include "history/history_file.h"
#include "history/record_fields.h"
#include "history/record_store.h"
#include "history/sqlite_schema.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace history;

namespace {

DownloadEntry Entry(const std::string& device, int count) {
    DownloadEntry entry;
    entry.time = 1700000000;
    entry.port = "COM3";
    entry.device = device;
    entry.position = count;
    entry.count = count;
    return entry;
}

// Runs SQL on the file as any other program would.
std::int64_t RawInteger(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

void RawExec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs fn in a child process as an ordinary user (the tests may run as root,
// who may write anything); returns its exit status.
int AsUser(const std::function<int()>& fn) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        try {
            _exit(fn());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            _exit(98);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Programs released together onto a path that does not exist yet (the
// dialog and a scheduled reader on a new computer): every merge goes in.
TEST(HistoryFile, ProgramsCreatingItAtOnceAllMerge) {
    const TempDir dir;
    constexpr int ROUNDS = 25;
    constexpr int PROGRAMS = 4;
    int failed = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        const std::string path = dir.File("h" + std::to_string(round) + ".sqlite3");
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        pid_t children[PROGRAMS];
        for (int k = 0; k < PROGRAMS; ++k) {
            children[k] = fork();
            ASSERT_GE(children[k], 0);
            if (children[k] == 0) {
                close(gate[1]);
                char byte;
                (void)!read(gate[0], &byte, 1); // returns when the parent closes its end
                const MergeReport report = mergeIntoHistory(
                    path, Entry("dev" + std::to_string(k), 10), Records(10 * k, 10 * k + 9));
                if (report.failure)
                    std::fprintf(stderr, "%s\n", report.failure->message.c_str());
                _exit(report.failure ? 1 : 0);
            }
        }
        close(gate[0]);
        close(gate[1]);
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        }
        EXPECT_EQ(openHistory(path, OpenMode::ReadOnly)->stats().downloads, PROGRAMS) << path;
    }
    EXPECT_EQ(failed, 0) << "of " << PROGRAMS * ROUNDS << " merges";
}

// A file at each earlier layout (as the Tarvex of that layout left it, with
// a download in it) is brought up to date and marked at its first write.
TEST(HistoryFile, EveryEarlierLayoutIsBroughtUpToDate) {
    const TempDir dir;
    const ArchiveRecord old = MakeRecord(7);
    for (int version = 0; version < currentSchemaVersion(); ++version) {
        SCOPED_TRACE(version);
        const std::string path = dir.File("v" + std::to_string(version) + ".sqlite3");
        std::string sql;
        for (int step = 0; step < version; ++step)
            sql += schemaStep(step);
        sql += "PRAGMA user_version = " + std::to_string(version) + ";";
        if (version >= 1) // the columns of layout 1, which later steps keep
            sql += "INSERT INTO downloads(id, time, port, device, position, count, empty_cells, "
                   "last_record) VALUES(1, 0, 'COM3', 'dev', 1, 1, x'00', x'00');"
                   "INSERT INTO records(id, key, sample, cell, measured, bytes) VALUES(1, " +
                   std::to_string(recordKey(old)) + ", 7, 2, " + std::to_string(*measuredAt(old)) +
                   ", x'" +
                   [&] {
                       std::string hex;
                       for (const uint8_t byte : old.bytes) {
                           char two[3];
                           std::snprintf(two, sizeof two, "%02x", byte);
                           hex += two;
                       }
                       return hex;
                   }() +
                   "');INSERT INTO sightings(record, download) VALUES(1, 1);";
        RawExec(path, sql);
        const MergeOutcome outcome =
            openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry("dev", 2), Records(7, 8));
        EXPECT_EQ(outcome.known, version >= 1 ? 1 : 0);
        EXPECT_EQ(RawInteger(path, "PRAGMA user_version"), currentSchemaVersion());
        EXPECT_EQ(RawInteger(path, "PRAGMA application_id"), HISTORY_APPLICATION_ID);
        EXPECT_EQ(openHistory(path, OpenMode::ReadOnly)->stats().records, 2);
    }
}

// Another program's database, one with another id, a file of another kind
// and a folder: refused, and not changed in any way.
TEST(HistoryFile, WhatIsNotOursIsLeftAsItWas) {
    const TempDir dir;
    const std::string other = dir.File("other.db");
    RawExec(other, "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
    const std::string marked = dir.File("marked.db");
    RawExec(marked, std::string(schemaStep(0)) + "PRAGMA user_version = 1;" +
                        "PRAGMA application_id = 1234;");
    const std::string text = dir.File("notes.txt");
    std::ofstream(text) << std::string(3000, 'n');
    const std::string folder = dir.File("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const std::string& path : {other, marked, text, folder}) {
        SCOPED_TRACE(path);
        const std::string before = path == folder ? "" : Bytes(path);
        for (const OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
            try {
                openHistory(path, mode);
                ADD_FAILURE() << "opened";
            } catch (const Error& error) {
                EXPECT_EQ(error.kind(), Error::Kind::NotOurs) << error.what();
                if (path == folder) {
                    EXPECT_NE(std::string(error.what()).find("is a folder"), std::string::npos);
                }
            }
        }
        EXPECT_EQ(path == folder ? "" : Bytes(path), before);
        EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    }
    EXPECT_EQ(RawInteger(other, "SELECT count(*) FROM sqlite_schema"), 1);
    EXPECT_EQ(RawInteger(other, "PRAGMA user_version"), 0);

    // A WAL database whose program left changes in its log: the log is not
    // folded into the file when the refusing program closes it.
    const std::string logged = dir.File("logged.db");
    sqlite3* db = nullptr;
    sqlite3_open(logged.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; CREATE TABLE t(x); INSERT INTO t VALUES(1)",
                 nullptr, nullptr, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db);
    const std::string file = Bytes(logged), log = Bytes(logged + "-wal");
    EXPECT_THROW(openHistory(logged, OpenMode::ReadWrite), Error);
    EXPECT_EQ(Bytes(logged), file);
    EXPECT_EQ(Bytes(logged + "-wal"), log);
}

// A history on read-only media (a folder and file no one may write): read
// without writing anything, the records of its log among them.
TEST(HistoryFile, ReadOnlyHistoryIsRead) {
    const TempDir dir;
    const std::string folder = dir.File("media");
    const std::string path = folder + "/h.sqlite3";
    chmod(dir.Path().c_str(), 0777); // the copy goes there
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry("dev", 30), Records(1, 30));
    chmod(path.c_str(), 0444);
    chmod(folder.c_str(), 0555);
    const int status = AsUser([&] {
        auto store = openHistory(path, OpenMode::ReadOnly);
        const std::string copy = dir.File("copy.sqlite3");
        return store->stats().records == 30 && backupHistory(path, {copy, false}).empty() ? 0 : 1;
    });
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::directory_iterator(folder)->path(), path); // nothing beside it
    EXPECT_EQ(openHistory(dir.File("copy.sqlite3"), OpenMode::ReadOnly)->stats().records, 30);
}

// A -shm left by another user (root's program still holding the history)
// is named: SQLite says only "attempt to write a readonly database".
TEST(HistoryFile, LockFilesOfAnotherUserAreNamed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a second user";
    const TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string path = dir.File("h.sqlite3");
    auto holder = openHistory(path, OpenMode::ReadWrite); // keeps the -shm and -wal
    holder->mergeDownload(Entry("dev", 5), Records(1, 5));
    chmod(path.c_str(), 0666);
    const int status = AsUser([&] {
        const MergeReport report = mergeIntoHistory(path, Entry("dev", 5), Records(6, 10));
        if (!report.failure)
            return 1;
        std::fprintf(stderr, "%s\n", report.failure->message.c_str());
        return report.failure->kind == Error::Kind::LockFiles &&
                       report.failure->message.find(path + "-shm") == 0
                   ? 0
                   : 2;
    });
    EXPECT_EQ(status, 0);
}

// A damaged history: check says so, recover keeps what can be read in a
// new file and sets the damaged one aside unchanged.
TEST(HistoryFile, DamagedHistoryIsCheckedAndRecovered) {
    const TempDir dir;
    const std::string path = dir.File("h.sqlite3");
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry("dev", 2000), Records(1, 2000));
    EXPECT_TRUE(checkHistory(path).problems.empty());
    const auto pages = std::filesystem::file_size(path) / 4096;
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
        .seekp(static_cast<std::streamoff>(pages / 2 * 4096))
        .write(std::string(2 * 4096, '\xff').data(), 2 * 4096);
    const std::string damaged = Bytes(path);
    EXPECT_FALSE(checkHistory(path).problems.empty());
    const MergeReport report = mergeIntoHistory(path, Entry("dev", 2000), Records(1, 2000));
    ASSERT_TRUE(report.failure);
    EXPECT_EQ(report.failure->kind, Error::Kind::Corrupt);

    const RecoverReport recovered = recoverHistory(path);
    EXPECT_GT(recovered.records, 1000);
    EXPECT_LT(recovered.records, 2000);
    EXPECT_GT(recovered.damagedPlaces, 0);
    EXPECT_EQ(Bytes(recovered.setAsideAs), damaged);
    EXPECT_TRUE(checkHistory(path).problems.empty());
    auto store = openHistory(path, OpenMode::ReadWrite);
    EXPECT_EQ(store->stats().records, recovered.records);
    EXPECT_EQ(store->mergeDownload(Entry("dev", 2000), Records(1, 2000)).added,
              2000 - recovered.records);
}

// A copy while another program is in the middle of a merge: the history
// as it was before that merge, a whole file.
TEST(HistoryFile, BackupWhileInUseIsConsistent) {
    const TempDir dir;
    const std::string path = dir.File("h.sqlite3");
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry("dev", 100), Records(1, 100));
    auto writer = openHistory(path, OpenMode::ReadWrite);
    std::string copied;
    writer->mergeDownload(Entry("dev", 500), Records(1, 500), [&](int done) {
        if (done == 300)
            copied = backupHistory(path, {dir.File("copy.sqlite3"), false});
    });
    EXPECT_EQ(copied, "");
    EXPECT_TRUE(checkHistory(dir.File("copy.sqlite3")).problems.empty());
    EXPECT_EQ(openHistory(dir.File("copy.sqlite3"), OpenMode::ReadOnly)->stats().records, 100);
    EXPECT_NE(backupHistory(path, {dir.File("copy.sqlite3"), false}), ""); // kept without --force
    EXPECT_EQ(backupHistory(path, {dir.File("copy.sqlite3"), true}), "");
    EXPECT_EQ(openHistory(dir.File("copy.sqlite3"), OpenMode::ReadOnly)->stats().records, 500);
}

} // namespace
