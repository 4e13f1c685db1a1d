#pragma once

// Where a drawing's rows of colour indices (or colours) go: the picture files, or a test's
// collector.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "colour/banding.h"

namespace mandel {

// Receives a picture row by row, top row first.
class PictureSink {
public:
    virtual ~PictureSink() = default;
    // `rows` rows of `width` colour indices each (width = the picture's width),
    // continuing below the rows of the previous call.
    virtual void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) = 0;
    // `rows` rows of `width` colours, for a sink opened for true colour (the
    // smooth colouring); a sink of colour indices refuses them.
    virtual void writeColourRows(std::span<const Rgb> /*colours*/, std::size_t /*rows*/) {
        throw std::logic_error("this picture takes colour indices only");
    }
    // A text field known only once every row is drawn (keyword, text), called
    // before finish(). A format with text fields records it after the image
    // data; the others, and collectors, ignore it.
    virtual void addClosingText(const std::string& /*keyword*/, const std::string& /*text*/) {}
    // After the last row: completes the output. Not called when the drawing stops early.
    virtual void finish() = 0;
};

}  // namespace mandel
