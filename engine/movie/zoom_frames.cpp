#include "movie/zoom_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "colour/banding.h"
#include "deep/count_map_file.h"
#include "deep/deep_colour.h"

namespace mandel::movie {

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
        if (keyframe.limit > kMaxColourTable || !keyframe.colours.empty()) return;
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
        if (!key->colours.empty()) return key->colours[at];
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

namespace {

// The elements of an .npy array of width × height elements of 4 bytes whose
// header is `expected`; throws naming the file and what it is.
template <typename Element>
std::vector<Element> readNpy(const std::string& path, const std::vector<std::uint8_t>& expected, int width, int height,
                             const char* what) {
    static_assert(sizeof(Element) == 4);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> header(expected.size());
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    if (!in || header != expected)
        throw std::runtime_error(std::string(what) + " " + path + " is missing or not of " + std::to_string(width) +
                                 "x" + std::to_string(height) + " values");
    std::vector<Element> values(static_cast<std::size_t>(width) * height);
    in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(values.size() * 4));
    if (static_cast<std::size_t>(in.gcount()) != values.size() * 4)
        throw std::runtime_error(std::string(what) + " " + path + " ends early");
    return values;
}

// Where the inner keyframe's pixels have shrunk to less than this many of
// the frame's (2^this zoom past it), the next keyframe out fades in over
// them, wholly there when it becomes the inner one: the picture's detail
// does not change at once as one keyframe takes over from the other.
constexpr double kHandOverFrom = 0.5;

double handOverWeight(double pastInner) {
    return std::clamp((pastInner - kHandOverFrom) / (1 - kHandOverFrom), 0.0, 1.0);
}

Rgb mixed(const Rgb& a, const Rgb& b, double weight) {
    const auto channel = [weight](std::uint8_t from, std::uint8_t to) {
        return static_cast<std::uint8_t>(std::lround(from + (to - from) * weight));
    };
    return {channel(a.red, b.red), channel(a.green, b.green), channel(a.blue, b.blue)};
}

// Runs drawRows(first, end) over bands of `rows` rows on every core: each
// row is written by one thread only.
template <typename DrawRows>
void onEveryCore(int rows, const DrawRows& drawRows) {
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, 16U));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(drawRows, rows * t / threads, rows * (t + 1) / threads);
    drawRows(0, rows / threads);
    for (std::thread& worker : workers) worker.join();
}

}  // namespace

std::vector<std::int32_t> readCountMap(const std::string& path, int width, int height) {
    return readNpy<std::int32_t>(path, countMapHeader(width, height), width, height, "count map");
}

std::vector<float> readSmoothMap(const std::string& path, int width, int height) {
    return readNpy<float>(path, npyHeader("<f4", width, height), width, height, "smooth map");
}

std::vector<Rgb> smoothColours(std::span<const std::int32_t> counts, std::span<const float> nu, std::int64_t limit,
                               const ZoomColourMap& map, const Gradient& gradient) {
    std::vector<Rgb> colours(counts.size());
    const FramePositions position(map);
    const int rows = static_cast<int>(std::min<std::size_t>(counts.size(), 1024));
    const std::size_t perRow = (counts.size() + rows - 1) / std::max(rows, 1);
    onEveryCore(rows, [&](int first, int end) {
        const std::size_t stop = std::min(counts.size(), static_cast<std::size_t>(end) * perRow);
        for (std::size_t i = static_cast<std::size_t>(first) * perRow; i < stop; ++i)
            colours[i] =
                counts[i] >= limit || !(nu[i] >= 1) ? gradient.inside : gradientColour(gradient, position(nu[i]));
    });
    return colours;
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
    const double handOver = handOverWeight(zoom - inner);
    const auto drawRows = [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y)
            for (int x = 0; x < width; ++x) {
                Rgb colour = Palette[0];
                for (std::size_t i = 0; i < shown.size(); ++i) {
                    const double px = shown[i].column(u(x)), py = shown[i].row(v(y));
                    if (shown[i].covers(px, py) || i + 1 == shown.size()) {
                        colour = shown[i].sample(px, py);
                        if (i == 0 && handOver > 0 && shown.size() > 1)
                            colour =
                                mixed(colour, shown[1].sample(shown[1].column(u(x)), shown[1].row(v(y))), handOver);
                        break;
                    }
                }
                std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                out[0] = colour.red, out[1] = colour.green, out[2] = colour.blue;
            }
    };
    onEveryCore(height, drawRows);
}

}  // namespace mandel::movie
