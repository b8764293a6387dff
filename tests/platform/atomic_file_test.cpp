// Files written through a temporary file and a rename: the target is either
// the old file or the whole new one, a name taken meanwhile is kept when asked,
// and no temporary file is left behind.
#include "platform/atomic_file.h"
#include "tests/support/sim_process.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// The test binary is linked with fsync, rename and renameat2 wrapped: each
// file synced is noted, and each rename of a file not synced before it.
std::set<std::pair<dev_t, ino_t>> g_synced;
int g_unsyncedRenames = 0;

void ClearSyncTrace() {
    g_synced.clear(); // inode numbers come round again
    g_unsyncedRenames = 0;
}

void NoteRename(int dirFd, const char* szFrom) {
    struct stat st {};
    if (fstatat(dirFd, szFrom, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !g_synced.contains({st.st_dev, st.st_ino}))
        ++g_unsyncedRenames;
}

} // namespace

extern "C" {
int __real_fsync(int fd);
int __real_rename(const char* szFrom, const char* szTo);
int __real_renameat2(int fromDir, const char* szFrom, int toDir, const char* szTo, unsigned flags);

int __wrap_fsync(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0)
        g_synced.insert({st.st_dev, st.st_ino});
    return __real_fsync(fd);
}
int __wrap_rename(const char* szFrom, const char* szTo) {
    NoteRename(AT_FDCWD, szFrom);
    return __real_rename(szFrom, szTo);
}
int __wrap_renameat2(int fromDir, const char* szFrom, int toDir, const char* szTo, unsigned flags) {
    NoteRename(fromDir, szFrom);
    return __real_renameat2(fromDir, szFrom, toDir, szTo, flags);
}
}

namespace {

// Whether permission bits stop this process (not so for the superuser).
bool PermissionsApply() {
    return geteuid() != 0;
}

TEST(AtomicFile, CommitGivesTheWholeFileOrKeepsWhatWasThere) {
    const struct {
        const char* szName;
        const char* szBefore;  // the target before creation; nullptr: absent
        const char* szAppears; // put at the target between creation and Commit
        ReplacePolicy policy;
        int nOpenError, nCommitError;
        const char* szAfter;
    } cases[] = {
        {"new file", nullptr, nullptr, ReplacePolicy::Replace, 0, 0, "new"},
        {"replaces a longer file", "old and longer", nullptr, ReplacePolicy::Replace, 0, 0, "new"},
        {"new file, keeping", nullptr, nullptr, ReplacePolicy::KeepExisting, 0, 0, "new"},
        {"existing file kept", "old", nullptr, ReplacePolicy::KeepExisting, EEXIST, EEXIST, "old"},
        {"appeared, kept", nullptr, "theirs", ReplacePolicy::KeepExisting, 0, EEXIST, "theirs"},
        {"appeared, replaced", nullptr, "theirs", ReplacePolicy::Replace, 0, 0, "new"},
        {"empty file appeared", nullptr, "", ReplacePolicy::KeepExisting, 0, EEXIST, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        TempDir dir;
        const std::string target = dir.File("results.doc");
        if (c.szBefore)
            Put(target, c.szBefore);
        AtomicFile file(target, c.policy);
        EXPECT_EQ(file.OpenStatus().error, c.nOpenError);
        EXPECT_EQ(file.Write("new").error, c.nOpenError);
        if (c.szAppears)
            Put(target, c.szAppears);
        const FileStatus committed = file.Commit();
        EXPECT_EQ(committed.error, c.nCommitError) << committed.Reason();
        EXPECT_EQ(ReadAll(target), c.szAfter);
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"results.doc"});
    }
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string target = dir.File("results.xls");
    const std::string old(300, 'o');
    // Written part-way, then given up: dropped, discarded, or cut by a limit.
    const struct {
        const char* szName;
        void (*fnEnd)(AtomicFile&);
    } ends[] = {
        {"dropped without Commit", [](AtomicFile&) {}},
        {"discarded", [](AtomicFile& file) { file.Discard(); }},
        {"cut by a file-size limit",
         [](AtomicFile& file) {
             FileSizeLimit limit(100);
             ASSERT_TRUE(limit.Active());
             EXPECT_EQ(file.Write(std::string(500, 'n')).error, EFBIG);
         }},
    };
    for (const auto& end : ends) {
        SCOPED_TRACE(end.szName);
        Put(target, old);
        {
            AtomicFile file(target, ReplacePolicy::Replace);
            ASSERT_TRUE(file.OpenStatus().Ok());
            EXPECT_TRUE(file.Write("partial").Ok());
            end.fnEnd(file);
        }
        EXPECT_EQ(ReadAll(target), old);
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"results.xls"});
    }
}

// The same checks before any work and at creation; a folder that cannot be
// searched gives its own error, not "exists".
TEST(AtomicFile, TargetsThatCannotBeWrittenAreRefusedWithTheirReason) {
    TempDir dir;
    Put(dir.File("taken.doc"), "old");
    ASSERT_EQ(mkdir(dir.File("locked").c_str(), 0755), 0);
    Put(dir.File("locked/taken.doc"), "old");
    ASSERT_EQ(mkdir(dir.File("read-only").c_str(), 0555), 0);
    ASSERT_EQ(mkdir(dir.File("folder.doc").c_str(), 0755), 0);
    Put(dir.File("read-only-file.doc"), "old");
    ASSERT_EQ(chmod(dir.File("read-only-file.doc").c_str(), 0444), 0);
    const bool bAsUser = PermissionsApply();
    ASSERT_EQ(chmod(dir.File("locked").c_str(), 0), 0);

    const struct {
        const char* szPath;
        ReplacePolicy policy;
        int nError;
        bool bOnlyAsUser;
    } cases[] = {
        {"missing/new.doc", ReplacePolicy::KeepExisting, ENOENT, false},
        {"missing/new.doc", ReplacePolicy::Replace, ENOENT, false},
        {"taken.doc", ReplacePolicy::KeepExisting, EEXIST, false},
        {"taken.doc", ReplacePolicy::Replace, 0, false},
        {"folder.doc", ReplacePolicy::Replace, EISDIR, false},
        {"folder.doc", ReplacePolicy::KeepExisting, EEXIST, false},
        {"taken.doc/new.doc", ReplacePolicy::KeepExisting, ENOTDIR, false},
        {"", ReplacePolicy::Replace, ENOENT, false},
        {"new.doc", ReplacePolicy::KeepExisting, 0, false},
        {"locked/taken.doc", ReplacePolicy::KeepExisting, EACCES, true},
        {"read-only/new.doc", ReplacePolicy::KeepExisting, EACCES, true},
        {"read-only-file.doc", ReplacePolicy::Replace, EACCES, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szPath);
        if (c.bOnlyAsUser && !bAsUser)
            continue; // the superuser passes permission bits
        const std::string path = *c.szPath ? dir.File(c.szPath) : std::string();
        EXPECT_EQ(CheckNewFileTarget(path, c.policy).error, c.nError);
        const AtomicFile file(path, c.policy);
        EXPECT_EQ(file.OpenStatus().error, c.nError);
    }
    ASSERT_EQ(chmod(dir.File("locked").c_str(), 0755), 0);
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"taken.doc", "locked", "read-only",
                                                        "folder.doc", "read-only-file.doc"}));
    EXPECT_EQ(ReadAll(dir.File("read-only-file.doc")), "old");
    EXPECT_EQ(Names(dir.File("read-only")), std::set<std::string>{});
}

// A file that may be written in a folder that may not: replaced in place
// through a temporary file elsewhere (TMPDIR), the old content kept when the
// new one cannot be written, and the reason says what became of the file.
// Checked as nobody when the tests run as the superuser, who passes
// permission bits; the child reports a failed check on standard error.
TEST(AtomicFile, FileInAFolderThatTakesNoNewFileIsRewrittenInPlace) {
    TempDir dir;
    const std::string folder = dir.File("read-only"), staging = dir.File("staging");
    const std::string target = folder + "/results.doc";
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(staging.c_str(), 0777), 0);
    ASSERT_EQ(chmod(staging.c_str(), 0777), 0); // past the umask
    Put(target, "old content");
    ASSERT_EQ(chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const auto Check = [](bool bOk, const std::string& what) {
        if (!bOk) {
            std::fprintf(stderr, "failed: %s\n", what.c_str());
            _exit(1);
        }
    };
    const auto Replace = [&](const std::string& text) {
        AtomicFile file(target, ReplacePolicy::Replace);
        Check(file.OpenStatus().Ok(), "opened: " + file.OpenStatus().Reason());
        Check(file.Write(text).Ok(), "written");
        return file.Commit();
    };
    EXPECT_EXIT(
        {
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            setenv("TMPDIR", staging.c_str(), 1);
            Check(CheckNewFileTarget(target, ReplacePolicy::Replace).Ok(), "checked");
            for (const std::string text : {"new content, longer than the old", "short"})
                Check(Replace(text).Ok() && ReadAll(target) == text, "replaced by " + text);
            // No room for the new content: nothing changes.
            AtomicFile file(target, ReplacePolicy::Replace);
            Check(file.Write(std::string(500, 'n')).Ok(), "written before the limit");
            FileSizeLimit limit(100);
            const FileStatus status = file.Commit();
            Check(status.error == EFBIG, "too large: " + status.Reason());
            Check(status.Reason().find("unchanged") != std::string::npos, status.Reason());
            Check(ReadAll(target) == "short", "kept the old content");
            Check(Names(folder) == std::set<std::string>{"results.doc"}, "nothing beside it");
            Check(Names(staging).empty(), "no temporary file left");
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(AtomicFile, ModesLinksAndDevices) {
    TempDir dir;
    // A new file gets what the umask leaves; a replacement keeps the old bits.
    const mode_t oldMask = umask(027);
    {
        AtomicFile file(dir.File("new.doc"), ReplacePolicy::KeepExisting);
        ASSERT_TRUE(file.Commit().Ok());
    }
    umask(oldMask);
    EXPECT_EQ(ModeOf(dir.File("new.doc")), 0640u);
    ASSERT_EQ(chmod(dir.File("new.doc").c_str(), 0604), 0);
    {
        AtomicFile file(dir.File("new.doc"), ReplacePolicy::Replace);
        ASSERT_TRUE(file.Commit().Ok());
    }
    EXPECT_EQ(ModeOf(dir.File("new.doc")), 0604u);

    // A symbolic link stays; the file it leads to is replaced.
    ASSERT_EQ(symlink("new.doc", dir.File("link.doc").c_str()), 0);
    {
        AtomicFile file(dir.File("link.doc"), ReplacePolicy::Replace);
        EXPECT_EQ(file.TargetPath(), fs::canonical(dir.File("new.doc")).string());
        ASSERT_TRUE(file.Write("through the link").Ok());
        ASSERT_TRUE(file.Commit().Ok());
    }
    EXPECT_TRUE(fs::is_symlink(dir.File("link.doc")));
    EXPECT_EQ(ReadAll(dir.File("new.doc")), "through the link");

    // Devices are written in place, never renamed over.
    {
        AtomicFile null("/dev/null", ReplacePolicy::Replace);
        EXPECT_EQ(null.TempPath(), "/dev/null");
        EXPECT_TRUE(null.Write("x").Ok());
        EXPECT_TRUE(null.Commit().Ok());
        EXPECT_EQ(CheckNewFileTarget("/dev/null", ReplacePolicy::KeepExisting).error, EEXIST);
    }
    struct stat st {};
    EXPECT_TRUE(stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
    if (access("/dev/full", W_OK) == 0) {
        AtomicFile full("/dev/full", ReplacePolicy::Replace);
        EXPECT_EQ(full.Write("x").error, ENOSPC);
    }
}

// The bytes are on disk before the name leads to them: after a power cut the
// target is the old file or the whole new one, never an empty one.
TEST(AtomicFile, TheTemporaryFileIsSyncedBeforeTheRename) {
    for (const ReplacePolicy policy : {ReplacePolicy::Replace, ReplacePolicy::KeepExisting}) {
        TempDir dir;
        ClearSyncTrace();
        AtomicFile file(dir.File("results.doc"), policy);
        ASSERT_TRUE(file.Write("new").Ok());
        ASSERT_TRUE(file.Commit().Ok());
        EXPECT_EQ(g_unsyncedRenames, 0);
        EXPECT_FALSE(g_synced.empty());
    }
}

// Libraries that open the file by name: they may truncate it, or remove it
// and make a new one; what they leave is what is committed, on disk.
TEST(AtomicFile, WritingByNameIsCommittedToo) {
    for (const bool bRecreate : {false, true}) {
        SCOPED_TRACE(bRecreate ? "made anew" : "truncated");
        TempDir dir;
        const std::string target = dir.File("book.xlsx");
        ClearSyncTrace();
        AtomicFile file(target, ReplacePolicy::KeepExisting);
        ASSERT_TRUE(file.Write("by descriptor").Ok());
        if (bRecreate) {
            ASSERT_EQ(unlink(file.TempPath().c_str()), 0);
        }
        std::FILE* pOut = std::fopen(file.TempPath().c_str(), "wb");
        ASSERT_NE(pOut, nullptr);
        std::fputs("by name", pOut);
        ASSERT_EQ(std::fclose(pOut), 0);
        EXPECT_TRUE(file.Commit().Ok());
        EXPECT_EQ(ReadAll(target), "by name");
        EXPECT_EQ(g_unsyncedRenames, 0);
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"book.xlsx"});
    }
}

// Without the signal ignored, a write beyond the limit kills the process.
[[noreturn]] void WriteBeyondALimitWithTheDefaultSignal(const std::string& target) {
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &limit);
    FileStatus status;
    {
        AtomicFile file(target, ReplacePolicy::Replace);
        status = file.Write(std::string(1000, 'x'));
    }
    std::_Exit(status.error == EFBIG ? 7 : 1);
}

TEST(AtomicFileDeathTest, FileSizeLimitFailsTheWriteInsteadOfKillingTheProcess) {
    TempDir dir;
    EXPECT_EXIT(WriteBeyondALimitWithTheDefaultSignal(dir.File("big.doc")),
                testing::ExitedWithCode(7), "");
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{});
}

} // namespace
