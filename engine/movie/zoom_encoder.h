#pragma once

// An H.264 MP4 (yuv420p) encoded by Debian's ffmpeg program from RGB frames
// piped to it. The movie is written under a hidden name beside its path and
// renamed onto it once ffmpeg has finished: a movie is there whole or not at all.

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace mandel::movie {

class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The ffmpeg program: $MANDEL_FFMPEG when set, else "ffmpeg" from PATH.
std::string ffmpegProgram();

class MovieEncoder {
public:
    // Starts ffmpeg; throws EncodingError when it cannot be started.
    MovieEncoder(const std::string& path, int width, int height, double fps);
    ~MovieEncoder();  // stops ffmpeg and removes the unfinished movie
    MovieEncoder(const MovieEncoder&) = delete;
    MovieEncoder& operator=(const MovieEncoder&) = delete;

    // One frame of width × height × 3 bytes; throws EncodingError when ffmpeg
    // no longer takes it.
    void write(std::span<const std::uint8_t> rgb);
    // Ends the stream, waits for ffmpeg and puts the movie in place; throws
    // EncodingError when ffmpeg failed.
    void finish();

private:
    void stop() noexcept;
    std::string path_;
    std::string partialPath_;
    pid_t child_ = -1;
    int pipe_ = -1;
    bool finished_ = false;
};

}  // namespace mandel::movie
