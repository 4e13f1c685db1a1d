// The safe file writer: a complete new file or nothing, and never harm to
// what was there, whatever the path points at.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/safe_file.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::readAll;

void writeAll(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

class SafeFile : public test::ScratchFolder {};

ssize_t failingWrite(int, const void*, std::size_t) {
    errno = ENOSPC;
    return -1;
}

int failingRename(int, const char*, int, const char*) {
    errno = EXDEV;
    return -1;
}

// Writes half of what it is asked, so that a caller must loop.
ssize_t halfWrite(int fd, const void* data, std::size_t size) { return ::write(fd, data, (size + 1) / 2); }

TEST_F(SafeFile, NewAndReplacedFilesAreCompleteAndNoTemporaryFileStays) {
    mandel::safeFileCalls().write = halfWrite;
    const fs::path path = dir_ / "picture.bmp";
    mandel::writeFileSafely(path.string(), bytesOf("first content"));
    EXPECT_EQ(readAll(path), bytesOf("first content"));

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    mandel::writeFileSafely(path.string(), bytesOf("second"));
    EXPECT_EQ(readAll(path), bytesOf("second")) << "replaced as a whole, no tail of the old content";
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << "the replacement keeps the old file's permissions";
    EXPECT_EQ(names(), std::vector<std::string>{"picture.bmp"});
}

TEST_F(SafeFile, AFailedWriteOrRenameLeavesTheOldFileByteForByte) {
    const fs::path path = dir_ / "keep.bmp";
    writeAll(path, "the old picture");
    const auto oldTime = fs::last_write_time(path);

    mandel::safeFileCalls().write = failingWrite;
    try {
        mandel::writeFileSafely(path.string(), bytesOf("new"));
        ADD_FAILURE() << "the write failed, but no error came";
    } catch (const mandel::FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write " + path.string() + ": No space left on device");
        EXPECT_EQ(e.path(), path.string());
    }
    EXPECT_EQ(readAll(path), bytesOf("the old picture"));
    EXPECT_EQ(fs::last_write_time(path), oldTime);
    EXPECT_EQ(names(), std::vector<std::string>{"keep.bmp"});

    mandel::safeFileCalls().write = ::write;
    mandel::safeFileCalls().rename = failingRename;
    EXPECT_THROW(mandel::writeFileSafely(path.string(), bytesOf("new")), mandel::FileWriteError);
    EXPECT_EQ(readAll(path), bytesOf("the old picture"));
    EXPECT_EQ(names(), std::vector<std::string>{"keep.bmp"});
}

TEST_F(SafeFile, AWriterLeftWithoutCommitRemovesOnlyItsTemporaryFile) {
    const fs::path kept = dir_ / "kept.bmp";
    writeAll(kept, "old");
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed file" : "hidden temporary file");
        mandel::safeFileCalls().unnamedFiles = unnamed;
        {
            mandel::SafeFileWriter writer(kept.string());
            writer.write("partial", 7);
            EXPECT_EQ(names().size(), unnamed ? 1u : 2u) << "an unnamed file is not in the folder";
        }
        {
            mandel::SafeFileWriter writer((dir_ / "new.bmp").string());
            writer.write("partial", 7);
            mandel::removeUncommittedFilesNow();  // as a Ctrl+C handler would
            EXPECT_EQ(names(), std::vector<std::string>{"kept.bmp"});
        }
        EXPECT_EQ(readAll(kept), bytesOf("old"));
        EXPECT_EQ(names(), std::vector<std::string>{"kept.bmp"});
    }
}

// The folder is renamed while its file is written: the file is committed
// into, or removed from, the folder under its new name.
TEST_F(SafeFile, AFolderMovedBeforeCommitGetsTheFileOrLosesTheTemporaryOne) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed file" : "hidden temporary file");
        mandel::safeFileCalls().unnamedFiles = unnamed;
        fs::create_directory(dir_ / "before");
        {
            mandel::SafeFileWriter committed((dir_ / "before" / "done.png").string());
            mandel::SafeFileWriter abandoned((dir_ / "before" / "left.png").string());
            committed.write("complete", 8);
            abandoned.write("partial", 7);
            fs::rename(dir_ / "before", dir_ / "after");
            committed.commit();
            mandel::removeUncommittedFilesNow();  // as a signal handler would
            EXPECT_EQ(readAll(dir_ / "after" / "done.png"), bytesOf("complete"));
            std::vector<std::string> left;
            for (const auto& entry : fs::directory_iterator(dir_ / "after")) left.push_back(entry.path().filename());
            EXPECT_EQ(left, std::vector<std::string>{"done.png"});
        }
        EXPECT_EQ(names(), std::vector<std::string>{"after"});
        fs::remove_all(dir_ / "after");
    }
}

// A path of the system's greatest length (PATH_MAX - 1 bytes) is written,
// whether or not its temporary name would fit in a path.
TEST_F(SafeFile, APathOfTheSystemsGreatestLengthIsWritten) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed file" : "hidden temporary file");
        mandel::safeFileCalls().unnamedFiles = unnamed;
        std::string path = dir_.string();
        const std::string folderName(200, 'd');
        while (path.size() + 1 + folderName.size() + 1 + 100 < PATH_MAX - 1) {
            path += "/" + folderName;
            fs::create_directory(path);
        }
        path += "/";
        path += std::string(PATH_MAX - 1 - path.size(), 'f');
        ASSERT_EQ(path.size(), static_cast<std::size_t>(PATH_MAX - 1));
        mandel::writeFileSafely(path, bytesOf("long"));
        EXPECT_EQ(readAll(path), bytesOf("long"));
        fs::remove_all(dir_ / folderName);
    }
}

TEST_F(SafeFile, WriteAtPatchesTheTemporaryFile) {
    const fs::path path = dir_ / "patched.bin";
    mandel::SafeFileWriter writer(path.string());
    ASSERT_TRUE(writer.seekable());
    writer.write("....body", 8);
    writer.writeAt(0, "head", 4);
    writer.write("!", 1);
    writer.commit();
    EXPECT_EQ(readAll(path), bytesOf("headbody!"));
}

TEST_F(SafeFile, SymlinksAreFollowedAndStayLinks) {
    const fs::path target = dir_ / "target.bmp";
    writeAll(target, "old");
    fs::create_symlink("target.bmp", dir_ / "link.bmp");
    mandel::writeFileSafely((dir_ / "link.bmp").string(), bytesOf("new"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.bmp"));
    EXPECT_EQ(readAll(target), bytesOf("new"));

    fs::create_symlink("later.bmp", dir_ / "dangling.bmp");
    mandel::writeFileSafely((dir_ / "dangling.bmp").string(), bytesOf("made"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.bmp"));
    EXPECT_EQ(readAll(dir_ / "later.bmp"), bytesOf("made"));
    EXPECT_EQ(names(), (std::vector<std::string>{"dangling.bmp", "later.bmp", "link.bmp", "target.bmp"}));
}

TEST_F(SafeFile, DevicesAreWrittenDirectlyAndNeverRemoved) {
    const fs::path full = dir_ / "full.bmp";
    fs::create_symlink("/dev/full", full);
    try {
        mandel::writeFileSafely(full.string(), bytesOf("data"));
        ADD_FAILURE() << "a write to /dev/full succeeded";
    } catch (const mandel::FileWriteError& e) {
        EXPECT_EQ(e.reason(), "No space left on device");
    }
    EXPECT_TRUE(fs::is_symlink(full));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(names(), std::vector<std::string>{"full.bmp"});

    mandel::SafeFileWriter null("/dev/null");
    EXPECT_FALSE(null.seekable());
    null.write("data", 4);
    null.commit();
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(SafeFile, PathsThatCannotBeWrittenNameThePathAndTheReason) {
    const auto reasonFor = [](const std::string& path) {
        try {
            mandel::writeFileSafely(path, bytesOf("x"));
        } catch (const mandel::FileWriteError& e) {
            return e.reason();
        }
        return std::string("written");
    };
    EXPECT_EQ(reasonFor((dir_ / "missing" / "x.bmp").string()), "No such file or directory");
    EXPECT_EQ(reasonFor(dir_.string()), "Is a directory");
    EXPECT_EQ(reasonFor(""), "no file name");
    fs::create_symlink("loop.bmp", dir_ / "loop.bmp");
    EXPECT_EQ(reasonFor((dir_ / "loop.bmp").string()), "Too many levels of symbolic links");
}

}  // namespace
