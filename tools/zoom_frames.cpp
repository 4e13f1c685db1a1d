#include "zoom_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "colour/banding.h"
#include "deep/count_map_file.h"
#include "deep/deep_colour.h"

namespace mandel::tool {

namespace {

// Keyframes of limits up to this have their colours looked up in a table
// made for each frame; higher ones have each sample's colour worked out.
constexpr std::int64_t kMaxColourTable = std::int64_t{1} << 20;

// The colours of one frame: counts from keyframes of limit L_k through one
// limit and base, a count at its own keyframe's limit the set's colour.
struct FrameColours {
    std::int64_t limit = 0;
    std::int64_t base = 0;

    Rgb of(std::int32_t count, std::int64_t keyframeLimit) const {
        if (count >= keyframeLimit) return Palette[0];
        const std::int64_t shown = std::min<std::int64_t>(count, limit - 1);
        return Palette[deepColourIndex(shown, limit, base)];
    }
};

FrameColours coloursAt(const MovieKeyframe& inner, const MovieKeyframe& outer, double t) {
    FrameColours colours;
    const double limit =
        std::exp(std::log(static_cast<double>(inner.limit)) * (1 - t) + std::log(static_cast<double>(outer.limit)) * t);
    colours.limit = std::max<std::int64_t>(2, std::llround(limit));
    const double base = static_cast<double>(inner.base) * (1 - t) + static_cast<double>(outer.base) * t;
    colours.base = std::clamp<std::int64_t>(std::llround(base), 0, colours.limit - 1);
    return colours;
}

// A keyframe as one frame shows it: its colour for each count, and where
// the frame's points fall in its pixels.
struct ShownKeyframe {
    const MovieKeyframe* key = nullptr;
    FrameColours colours;
    std::vector<Rgb> colourOfCount;  // 0 .. limit, unless the limit is above kMaxColourTable
    double scale = 0;                // its pixels per keyframe-0 side

    ShownKeyframe(const MovieKeyframe& keyframe, int k, const FrameColours& frameColours)
        : key(&keyframe), colours(frameColours), scale(std::min(keyframe.width, keyframe.height) / std::exp2(k)) {
        if (keyframe.limit > kMaxColourTable) return;
        colourOfCount.resize(static_cast<std::size_t>(keyframe.limit) + 1);
        for (std::size_t count = 0; count < colourOfCount.size(); ++count)
            colourOfCount[count] = colours.of(static_cast<std::int32_t>(count), keyframe.limit);
    }
    double column(double u) const { return u * scale + key->width / 2.0 - 0.5; }
    double row(double v) const { return v * scale + key->height / 2.0 - 0.5; }
    bool covers(double px, double py) const {
        return px >= 0 && py >= 0 && px <= key->width - 1 && py <= key->height - 1;
    }
    Rgb colourAt(std::size_t at) const {
        const std::int32_t count = key->counts[at];
        if (colourOfCount.empty()) return colours.of(count, key->limit);
        return colourOfCount[static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, key->limit))];
    }
    // The colour at (px, py), blended from its four neighbours.
    Rgb sample(double px, double py) const {
        px = std::clamp(px, 0.0, key->width - 1.0), py = std::clamp(py, 0.0, key->height - 1.0);
        const int x0 = std::max(0, std::min(static_cast<int>(px), key->width - 2));
        const int y0 = std::max(0, std::min(static_cast<int>(py), key->height - 2));
        const double fx = px - x0, fy = py - y0;
        double sum[3] = {0, 0, 0};
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                const double w = (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy);
                if (w == 0) continue;
                const Rgb c = colourAt(static_cast<std::size_t>(y0 + dy) * key->width + (x0 + dx));
                sum[0] += w * c.red, sum[1] += w * c.green, sum[2] += w * c.blue;
            }
        const auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
        return {channel(sum[0]), channel(sum[1]), channel(sum[2])};
    }
};

}  // namespace

std::vector<std::int32_t> readCountMap(const std::string& path, int width, int height) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> expected = countMapHeader(width, height);
    std::vector<std::uint8_t> header(expected.size());
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    if (!in || header != expected)
        throw std::runtime_error("count map " + path + " is missing or not of " + std::to_string(width) + "x" +
                                 std::to_string(height) + " counts");
    std::vector<std::int32_t> counts(static_cast<std::size_t>(width) * height);
    in.read(reinterpret_cast<char*>(counts.data()), static_cast<std::streamsize>(counts.size() * 4));
    if (static_cast<std::size_t>(in.gcount()) != counts.size() * 4)
        throw std::runtime_error("count map " + path + " ends early");
    return counts;
}

double frameZoom(int frame, int frames, int keyframes) {
    if (frames < 2) return 0;
    return static_cast<double>(keyframes - 1) * frame / (frames - 1);
}

void composeFrame(const KeyframeSource& keyframe, int count, double zoom, int width, int height,
                  std::vector<std::uint8_t>& rgb) {
    rgb.resize(static_cast<std::size_t>(width) * height * 3);
    const int inner = std::clamp(static_cast<int>(std::floor(zoom)), 0, count - 1);
    const int outer = std::min(inner + 1, count - 1);
    const FrameColours colours = coloursAt(keyframe(inner), keyframe(outer), zoom - inner);
    const double frameSide = std::exp2(zoom);  // in keyframe 0's sides
    const int shorter = std::min(width, height);
    // The point of pixel (x, y) as its offset from the centre in keyframe 0's sides.
    const auto u = [&](int x) { return (x + 0.5 - width / 2.0) / shorter * frameSide; };
    const auto v = [&](int y) { return (y + 0.5 - height / 2.0) / shorter * frameSide; };
    // The keyframes from the inner one out to the first that covers the whole frame.
    std::vector<ShownKeyframe> shown;
    for (int k = inner; k < count; ++k) {
        shown.emplace_back(keyframe(k), k, colours);
        const ShownKeyframe& last = shown.back();
        if (last.covers(last.column(u(0)), last.row(v(0))) &&
            last.covers(last.column(u(width - 1)), last.row(v(height - 1))))
            break;
    }
    const auto drawRows = [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y)
            for (int x = 0; x < width; ++x) {
                Rgb colour = Palette[0];
                for (std::size_t i = 0; i < shown.size(); ++i) {
                    const double px = shown[i].column(u(x)), py = shown[i].row(v(y));
                    if (shown[i].covers(px, py) || i + 1 == shown.size()) {
                        colour = shown[i].sample(px, py);
                        break;
                    }
                }
                std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                out[0] = colour.red, out[1] = colour.green, out[2] = colour.blue;
            }
    };
    // Bands of rows on every core: each pixel is written by one thread only.
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, 16U));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(drawRows, height * t / threads, height * (t + 1) / threads);
    drawRows(0, height / threads);
    for (std::thread& worker : workers) worker.join();
}

}  // namespace mandel::tool
