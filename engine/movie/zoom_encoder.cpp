#include "movie/zoom_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

extern char** environ;

namespace mandel::movie {

namespace {

// Quality and speed of the H.264 encoding: visually lossless for these
// pictures, and faster than real time at common sizes.
constexpr const char* kQuality = "18";
constexpr const char* kPreset = "veryfast";

std::string partialPathOf(const std::string& path) {
    const std::filesystem::path target(path);
    std::string name = ".";
    name += target.filename().string();
    name += ".partial-";
    name += std::to_string(getpid());
    name += ".mp4";
    return (target.parent_path().empty() ? std::filesystem::path(name) : target.parent_path() / name).string();
}

}  // namespace

std::string ffmpegProgram() {
    const char* program = std::getenv("MANDEL_FFMPEG");
    return program && *program ? program : "ffmpeg";
}

MovieEncoder::MovieEncoder(const std::string& path, int width, int height, double fps)
    : path_(path), partialPath_(partialPathOf(path)) {
    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    std::snprintf(rate, sizeof rate, "%.6g", fps);
    const std::string program = ffmpegProgram();
    std::vector<std::string> args = {program,     "-nostdin",   "-hide_banner", "-loglevel", "error",     "-y",
                                     "-f",        "rawvideo",   "-pix_fmt",     "rgb24",     "-s",        size,
                                     "-r",        rate,         "-i",           "pipe:0",    "-c:v",      "libx264",
                                     "-preset",   kPreset,      "-crf",         kQuality,    "-pix_fmt",  "yuv420p",
                                     "-movflags", "+faststart", "-f",           "mp4",       partialPath_};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw EncodingError(std::string("cannot start ffmpeg: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    const int spawned = posix_spawnp(&child_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        child_ = -1;
        throw EncodingError("cannot start " + program + ": " + std::strerror(spawned) +
                            " (Debian's ffmpeg package provides it)");
    }
    pipe_ = fds[1];
}

MovieEncoder::~MovieEncoder() {
    if (!finished_) stop();
}

void MovieEncoder::stop() noexcept {
    if (pipe_ >= 0) close(pipe_), pipe_ = -1;
    if (child_ > 0) {
        kill(child_, SIGTERM);
        int status = 0;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {}
        child_ = -1;
    }
    std::remove(partialPath_.c_str());
}

void MovieEncoder::write(std::span<const std::uint8_t> rgb) {
    std::size_t done = 0;
    while (done < rgb.size()) {
        const ssize_t n = ::write(pipe_, rgb.data() + done, rgb.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EncodingError("ffmpeg stopped taking frames (" + std::string(std::strerror(errno)) + ")");
        done += static_cast<std::size_t>(n);
    }
}

void MovieEncoder::finish() {
    close(pipe_);
    pipe_ = -1;
    int status = 0;
    while (waitpid(child_, &status, 0) < 0) {
        if (errno != EINTR) break;
    }
    child_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::remove(partialPath_.c_str());
        finished_ = true;
        throw EncodingError("ffmpeg failed to encode " + path_);
    }
    if (std::rename(partialPath_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        std::remove(partialPath_.c_str());
        finished_ = true;
        throw EncodingError("cannot write " + path_ + ": " + std::strerror(error));
    }
    finished_ = true;
}

}  // namespace mandel::movie
