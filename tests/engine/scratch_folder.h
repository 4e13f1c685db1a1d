#pragma once

// A fresh folder per test, for tests that write files through the safe file
// writer: lists what is in it (to catch left-over temporary files) and puts
// back any system call a test replaced.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/safe_file.h"

namespace test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline Bytes readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ScratchFolder : public testing::Test {
protected:
    void SetUp() override {
        // Short (the tools cut long paths short in their messages) and unique
        // across processes and tests run at the same time.
        static int testsSoFar = 0;
        dir_ = fs::temp_directory_path() /
               ("mandel_test_" + std::to_string(::getpid()) + "_" + std::to_string(++testsSoFar));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        mandel::safeFileCalls() = saved_;
        fs::remove_all(dir_);
    }
    // The names of the folder's entries, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    fs::path dir_;

private:
    mandel::SafeFileCalls saved_ = mandel::safeFileCalls();
};

}  // namespace test
