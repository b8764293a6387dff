// Files the user keeps, written so that they are never left cut: the bytes go
// to a temporary file beside the target, which is flushed to disk and renamed
// over the target only when whole. Until then the old file (if any) stays as
// it was; a failure, or an AtomicFile dropped without Commit, removes the
// temporary file.
//
//     AtomicFile file(path, ReplacePolicy::Replace);
//     FileStatus status = file.OpenStatus();
//     if (status.Ok())
//         status = file.Write(bytes);          // or write to TempPath() / Descriptor()
//     if (status.Ok())
//         status = file.Commit();
//     if (!status.Ok())
//         report(status.Reason());             // the old file is untouched
#pragma once

#include <string>
#include <string_view>
#include <utility>

// The outcome of a file operation: 0, or the errno of the first failure.
struct FileStatus {
    FileStatus() = default;
    FileStatus(int nError, std::string szNote = {}) : error(nError), note(std::move(szNote)) {}

    int error = 0;
    // What became of the file, where that is not plain (it was rewritten in
    // place); empty otherwise.
    std::string note;

    bool Ok() const { return error == 0; }
    // The system's text for the error (strerror), then the note; empty when Ok.
    std::string Reason() const;
};

enum class ReplacePolicy {
    Replace,      // an existing file at the target is replaced at Commit
    KeepExisting, // Commit fails with EEXIST if anything has the target's name by then
};

class AtomicFile {
public:
    // Creates the temporary file in the target's folder (exclusively, with
    // the permission bits any new file gets under the umask, or those of the
    // file it will replace). The outcome is in OpenStatus: EEXIST when the
    // target exists and policy is KeepExisting, EISDIR for a folder, EACCES
    // for an existing file this user may not write, or whatever creating the
    // temporary file failed with (ENOENT for a missing folder, EACCES, EROFS).
    //
    // An existing file in a folder that takes no new file (EACCES, EPERM) is
    // replaced in place instead: the bytes go to a temporary file in the
    // system's temporary folder, and Commit writes them over the old content,
    // which it puts back should that fail (platform/in_place_file.h).
    //
    // A symbolic link at the target stays: the file it leads to is replaced.
    // A target that exists and is not a regular file (a device such as
    // /dev/stdout, a FIFO) is written directly, since it cannot be renamed
    // over; TempPath() is then the target itself.
    AtomicFile(const std::string& targetPath, ReplacePolicy policy);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    FileStatus OpenStatus() const { return m_openStatus; }
    // The open descriptor of the temporary file (-1 when creation failed).
    // Owned by this object: write to it, never close it.
    int Descriptor() const { return m_fd; }
    // Where the bytes go until Commit, for libraries that open a file by
    // name: they may create, truncate and write it there freely.
    const std::string& TempPath() const { return m_tempPath; }
    // The file that Commit makes (a symbolic link resolved).
    const std::string& TargetPath() const { return m_targetPath; }

    // Writes all of bytes at the descriptor's position.
    FileStatus Write(std::string_view bytes);

    // Flushes the temporary file to disk, renames it to the target (with
    // KeepExisting only if the name is still free at that moment) and
    // flushes the folder. On failure the temporary file is removed and the
    // target is as it was. Call once.
    FileStatus Commit();

    // Removes the temporary file now (as the destructor would).
    void Discard();

private:
    FileStatus Rename();

    std::string m_targetPath;
    std::string m_tempPath;
    ReplacePolicy m_policy;
    FileStatus m_openStatus;
    int m_fd = -1;
    bool m_bDirect = false;  // writing into a device or FIFO, no rename
    bool m_bPending = false; // a temporary file of ours exists
    bool m_bInPlace = false; // the temporary file is elsewhere; Commit rewrites the target
};

// Whether a new file could be made at targetPath now, without making it:
// the same checks as AtomicFile's creation (a temporary file is made in the
// folder and removed at once). Used before long work whose result goes there.
// A folder that cannot be searched gives its error (EACCES), not EEXIST.
FileStatus CheckNewFileTarget(const std::string& targetPath, ReplacePolicy policy);

// Makes a file-size limit (ulimit -f, RLIMIT_FSIZE) fail the write with
// EFBIG instead of killing the process with SIGXFSZ. AtomicFile calls it on
// creation; front ends call it at start so that every write is covered.
// A handler installed by the program is left alone.
void IgnoreFileSizeSignal();
