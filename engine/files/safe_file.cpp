#include "files/safe_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <system_error>

#include "files/uncommitted_files.h"
#include "files/standard_output.h"

namespace mandel {

FileWriteError::FileWriteError(const std::string& path, const std::string& reason)
    : std::runtime_error("cannot write " + path + ": " + reason), path_(path), reason_(reason) {}

SafeFileCalls& safeFileCalls() {
    static SafeFileCalls calls{::write, ::pwrite, ::renameat, true};
    return calls;
}

void removeUncommittedFilesNow() noexcept { uncommitted::removeAllNow(); }

namespace {

std::string systemReason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link of the process file system, such as /proc/self/fd/1 behind
// /dev/stdout: it stands for an open file, and its text is no path to replace.
bool isSystemLink(const std::string& link) {
    struct statfs fileSystem {};
    const std::string folder = folderOf(link);
    return ::statfs(folder.empty() ? "." : folder.c_str(), &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
}

enum class Followed { ToName, ToSystemLink, Failed };

// Follows symbolic links from path to the first name that is not one (which
// need not exist yet), stopping at a system link. Failed sets errno.
Followed followLinks(std::string& path) {
    constexpr int kMaxLinkHops = 40;  // as the system's own limit
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return Followed::ToName;
        if (isSystemLink(path)) return Followed::ToSystemLink;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0) return Followed::Failed;
        if (static_cast<std::size_t>(length) == sizeof target) {
            errno = ENAMETOOLONG;
            return Followed::Failed;
        }
        const std::string next(target, static_cast<std::size_t>(length));
        path = next.starts_with('/') ? next : folderOf(path) + next;
    }
    errno = ELOOP;
    return Followed::Failed;
}

enum class WriteMode {
    Direct,        // a device, a FIFO: write into it as it is
    DirectAppend,  // a regular file behind a system link (/dev/stdout): after what is there
    Replace,       // an existing regular file: temporary file, then rename
    Create,        // nothing there yet: temporary file, then rename
};

struct Target {
    std::string path;  // where the complete file goes
    WriteMode mode;
    struct stat existing {};
};

// Decides how a path is written; returns false with errno set on failure.
bool chooseTarget(const std::string& given, Target& target) {
    target.path = given;
    if (::stat(given.c_str(), &target.existing) != 0) {
        if (errno != ENOENT) return false;
        target.mode = WriteMode::Create;
        const Followed followed = followLinks(target.path);
        if (followed == Followed::ToSystemLink) errno = ENOENT;
        return followed == Followed::ToName;
    }
    if (!S_ISREG(target.existing.st_mode)) {
        target.mode = WriteMode::Direct;
        return true;
    }
    const Followed followed = followLinks(target.path);
    if (followed == Followed::Failed) return false;
    target.mode = followed == Followed::ToName ? WriteMode::Replace : WriteMode::DirectAppend;
    if (target.mode == WriteMode::DirectAppend) target.path = given;
    return true;
}

std::string randomHex() {
    thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(::getpid()));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
    return hex;
}

// ".NAME." with NAME cut so that the temporary name stays within NAME_MAX.
std::string hiddenPrefix(const std::string& targetName) {
    constexpr std::size_t kMaxNameKept = 120;
    std::string prefix(1, '.');
    prefix.append(targetName, 0, kMaxNameKept);
    prefix.push_back('.');
    return prefix;
}

// A new, hidden file in the folder; returns its descriptor, or -1 with errno set.
int createTemporaryFile(int folderFd, const std::string& targetName, std::string& temporaryName) {
    constexpr int kAttempts = 100;
    const std::string prefix = hiddenPrefix(targetName);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporaryName = prefix;
        temporaryName += randomHex();
        temporaryName += ".tmp";
        const int fd = ::openat(folderFd, temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Errors of O_TMPFILE that only mean the file system cannot do it.
bool unnamedFilesUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

}  // namespace

SafeFileWriter::SafeFileWriter(const std::string& path) : path_(path) {
    if (path.empty()) throw FileWriteError(path, "no file name");
    if (isStandardOutput(path)) {
        fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd_ < 0) fail(errno);
        return;
    }
    Target target;
    if (!chooseTarget(path, target)) fail(errno);
    if (target.path != path) linkTarget_ = target.path;
    if (target.mode == WriteMode::Direct || target.mode == WriteMode::DirectAppend) {
        const int append = target.mode == WriteMode::DirectAppend ? O_APPEND : 0;
        fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | append);
        if (fd_ < 0) fail(errno);
        return;
    }
    openInFolder(target.path, target.mode == WriteMode::Replace, target.existing);
}

void SafeFileWriter::openInFolder(const std::string& targetPath, bool replacing, const struct stat& existing) {
    const std::string folder = folderOf(targetPath);
    targetName_ = nameOf(targetPath);
    if (targetName_.size() > NAME_MAX) fail(ENAMETOOLONG);
    folderFd_ = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0) fail(errno);
    // Replacing a file that may not be written to would bypass its protection.
    if (replacing && ::faccessat(folderFd_, targetName_.c_str(), W_OK, 0) != 0) fail(errno);
    fd_ = -1;
    if (safeFileCalls().unnamedFiles) {
        fd_ = ::openat(folderFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ < 0 && !unnamedFilesUnsupported(errno)) fail(errno);
        unnamed_ = fd_ >= 0;
    }
    if (fd_ < 0) {
        std::string temporaryName;
        fd_ = createTemporaryFile(folderFd_, targetName_, temporaryName);
        if (fd_ < 0) fail(errno);
        temporaryName_ = temporaryName;
        listedSlot_ = uncommitted::remember(folderFd_, temporaryName_);
    }
    if (replacing) {
        // The new file keeps the old one's permissions (and owner, where allowed).
        if (::fchmod(fd_, existing.st_mode & 07777) != 0) { /* keeps the default mode */
        }
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) { /* keeps our owner */
        }
    }
}

SafeFileWriter::~SafeFileWriter() { discard(); }

void SafeFileWriter::discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporaryName_.empty() && !committed_) {
        uncommitted::forget(listedSlot_);
        listedSlot_ = -1;
        ::unlinkat(folderFd_, temporaryName_.c_str(), 0);
        temporaryName_.clear();
    }
    if (folderFd_ >= 0) {
        ::close(folderFd_);
        folderFd_ = -1;
    }
}

void SafeFileWriter::fail(int error) {
    discard();
    // Through a link, the file that failed is its target.
    if (!linkTarget_.empty()) throw FileWriteError(path_, "link to " + linkTarget_ + ": " + systemReason(error));
    throw FileWriteError(path_, systemReason(error));
}

void SafeFileWriter::requireOpen() const {
    if (committed_) throw std::logic_error("the file " + path_ + " was already committed");
    if (fd_ < 0) throw FileWriteError(path_, "an earlier write failed");
}

void SafeFileWriter::write(const void* data, std::size_t size) {
    requireOpen();
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = safeFileCalls().write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) fail(errno);
        if (written == 0) fail(ENOSPC);  // no progress: as full as a full device
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void SafeFileWriter::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!seekable()) throw std::logic_error("writeAt on " + path_ + ", which is written in order");
    requireOpen();
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = safeFileCalls().pwrite(fd_, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) fail(errno);
        if (written == 0) fail(ENOSPC);
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
}

void SafeFileWriter::linkUnnamedFile() {
    // linkat cannot replace a file, so the unnamed file first gets a hidden
    // name of its own, listed for removal until the rename.
    constexpr int kAttempts = 100;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const std::string prefix = hiddenPrefix(targetName_);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string name = prefix;
        name += randomHex();
        name += ".tmp";
        listedSlot_ = uncommitted::remember(folderFd_, name);
        int linked = ::linkat(AT_FDCWD, self.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == ENOENT)  // no /proc: only allowed with the right privilege
            linked = ::linkat(fd_, "", folderFd_, name.c_str(), AT_EMPTY_PATH);
        if (linked == 0) {
            temporaryName_ = name;
            return;
        }
        const int error = errno;
        uncommitted::forget(listedSlot_);
        listedSlot_ = -1;
        if (error != EEXIST) fail(error);
    }
    fail(EEXIST);
}

void SafeFileWriter::commit() {
    requireOpen();
    // The data must be on disk before the name points at it.
    if (seekable() && ::fsync(fd_) != 0) fail(errno);
    if (unnamed_) linkUnnamedFile();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
    if (seekable()) {
        if (safeFileCalls().rename(folderFd_, temporaryName_.c_str(), folderFd_, targetName_.c_str()) != 0) fail(errno);
        uncommitted::forget(listedSlot_);
        listedSlot_ = -1;
    }
    committed_ = true;
    discard();
}

std::string writtenPath(const std::string& path) {
    if (path.empty() || isStandardOutput(path)) return path;
    std::string followed = path;
    return followLinks(followed) == Followed::ToName ? followed : path;
}

void writeFileSafely(const std::string& path, std::span<const std::uint8_t> bytes) {
    SafeFileWriter writer(path);
    writer.write(bytes.data(), bytes.size());
    writer.commit();
}

}  // namespace mandel
