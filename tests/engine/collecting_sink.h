#pragma once

// A picture sink that keeps every row it is given, for tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "drawing/draw_picture.h"

class CollectingSink : public mandel::PictureSink {
public:
    explicit CollectingSink(std::size_t width) : width_(width) {}
    void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) override {
        EXPECT_EQ(indices.size(), rows * width_);
        EXPECT_FALSE(finished) << "rows after finish";
        pixels.insert(pixels.end(), indices.begin(), indices.end());
        ++calls;
    }
    void addClosingText(const std::string& keyword, const std::string& text) override {
        EXPECT_FALSE(finished) << "a closing text field after finish";
        closingText.emplace_back(keyword, text);
    }
    void finish() override { finished = true; }

    std::vector<std::uint8_t> pixels;
    std::vector<std::pair<std::string, std::string>> closingText;
    int calls = 0;
    bool finished = false;

private:
    std::size_t width_;
};
