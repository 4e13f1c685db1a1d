#pragma once

// Writing a file without ever harming what was there before.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace mandel {

// "cannot write PATH: REASON" (REASON is the system's strerror text, or a
// plain reason; for a symbolic link, "link to TARGET: " comes first).
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    FileWriteError(const std::string& path, const std::string& reason);
    // Empty when the error was made from a whole message.
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// Writes one file so that nothing that was there is harmed.
// - A regular file, or a path that does not exist yet: the data goes to a new
//   file in the same folder (symlinks are followed first, so it sits beside
//   the link's target). Where the file system allows, that file has no name
//   until commit() (O_TMPFILE), so nothing is left whatever ends the process;
//   elsewhere it is a hidden temporary file. Both are addressed through an
//   open descriptor of the folder, so a folder renamed meanwhile still gets
//   the file, or loses the temporary one. commit() renames the complete file
//   onto the target. Without a successful commit() (error, exception,
//   destruction) only the new file is removed.
// - The file open as standard output (/dev/stdout, or its path): written
//   through descriptor 1 itself, so that its offset is the one shared with
//   everything else the process writes there.
// - Any other existing path (a device, a FIFO): written directly, never
//   removed, never truncated beyond what opening for writing does.
class SafeFileWriter {
public:
    explicit SafeFileWriter(const std::string& path);  // throws FileWriteError
    ~SafeFileWriter();                                 // removes an uncommitted temporary file
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    void write(const void* data, std::size_t size);  // appends; throws FileWriteError
    // Whether writeAt may be used (true for the temporary-file case).
    bool seekable() const { return folderFd_ >= 0; }
    // Writes at a byte offset from the start; std::logic_error when not seekable().
    void writeAt(std::uint64_t offset, const void* data, std::size_t size);  // throws
    void commit();                                                           // flush + close + rename; throws
    const std::string& path() const { return path_; }                        // the path as given

private:
    [[noreturn]] void fail(int error);
    void requireOpen() const;
    void discard() noexcept;  // closes the file and removes an uncommitted temporary file
    void openInFolder(const std::string& targetPath, bool replacing, const struct stat& existing);
    void linkUnnamedFile();  // gives the unnamed file its hidden name, just before the rename

    std::string path_;           // as given
    std::string linkTarget_;     // where path_'s symbolic links lead; empty when it is no link
    std::string targetName_;     // after following symlinks: the rename's destination in its folder
    std::string temporaryName_;  // the hidden file's name in the folder; empty while unnamed or direct
    int folderFd_ = -1;          // the target's folder; -1 when writing directly
    bool unnamed_ = false;       // written as an O_TMPFILE until commit()
    int fd_ = -1;
    int listedSlot_ = -1;  // in the table that removeUncommittedFilesNow() reads
    bool committed_ = false;
};

// The file a SafeFileWriter of path writes into: symbolic links followed to
// the first name that is not one, a dangling link's target included (it need
// not exist yet); path itself for standard output, a link of the process
// file system (/dev/stdout) and a path whose links cannot be followed. Two
// paths whose written paths name one file are one output.
std::string writtenPath(const std::string& path);

// Convenience for small files: the whole content at once.
void writeFileSafely(const std::string& path, std::span<const std::uint8_t> bytes);  // throws FileWriteError

// Removes every temporary file of a writer that has not committed yet.
// Async-signal-safe: for a handler of SIGINT and the like to call before the
// signal ends the process.
void removeUncommittedFilesNow() noexcept;

// The system calls the writer makes to store data and to put the complete
// file in place. Tests replace one to make it fail; normal code never does.
struct SafeFileCalls {
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    ssize_t (*pwrite)(int fd, const void* data, std::size_t size, off_t offset);
    int (*rename)(int fromFolder, const char* from, int toFolder, const char* to);  // renameat
    bool unnamedFiles;  // try O_TMPFILE first; false forces the hidden temporary file
};
SafeFileCalls& safeFileCalls();

}  // namespace mandel
