#include "deep/deep_picture_colours.h"

#include <algorithm>
#include <stdexcept>

#include "colour/gradients.h"
#include "colour/linear_light.h"
#include "colour/smooth_colouring.h"
#include "colour/smooth_lanes.h"
#include "deep/deep_colour.h"

namespace mandel {

namespace {

// Sample i's smooth colour shaded by its distance, in samples (K to the
// picture's pixel); the inside keeps its colour.
Rgb shadedSample(const SampleRows& samples, std::size_t i, const PictureColouring& c, const Rgb& colour,
                 const Gradient& gradient) {
    if (samples.counts[i] >= c.limit) return colour;
    const float pixels = samples.distance[i] / static_cast<float>(c.colouring.supersample);
    return shadedColour(colour, pixels, samples.slope[i], gradient.inside);
}

}  // namespace

DeepView sampleView(const DeepView& view, int supersample) {
    DeepView samples = view;
    samples.width = view.width * supersample;
    samples.height = view.height * supersample;
    return samples;
}

int supersampleWithin(int wanted, int width, int height) {
    const int longer = std::max(width, height);
    return std::clamp(kMaxPictureSize / std::max(longer, 1), 1, std::max(wanted, 1));
}

bool usesColourIndices(const Colouring& colouring) {
    return colouring.mode == ColouringMode::Bands && colouring.supersample == 1;
}

void colourSamples(const SampleRows& samples, const PictureColouring& colouring, std::vector<Rgb>& out) {
    const Gradient* gradient = findGradient(colouring.colouring.palette);
    if (gradient == nullptr) throw std::invalid_argument("unknown palette " + colouring.colouring.palette);
    const auto k = static_cast<std::size_t>(colouring.colouring.supersample);
    if (samples.width % k != 0 || samples.rows % k != 0)
        throw std::invalid_argument("samples are not whole pixels of " + std::to_string(k) + " x " + std::to_string(k));
    const std::size_t width = samples.width / k;
    const std::size_t count = samples.width * samples.rows;
    // Every sample's colour first (the pixels' own, at one sample a pixel).
    std::vector<Rgb> sampleColours;
    std::vector<Rgb>& colours = k == 1 ? out : sampleColours;
    colours.resize(count);
    const ColouringMode mode = colouring.colouring.mode;
    if (mode == ColouringMode::Bands) {
        for (std::size_t i = 0; i < count; ++i)
            colours[i] = Palette[deepColourIndex(samples.counts[i], colouring.limit, colouring.base)];
    } else {
        smoothColours(samples.counts.first(count), samples.excess.first(count), colouring.limit, *gradient,
                      colouring.colouring.scale, colours);
    }
    if (mode == ColouringMode::Distance)
        for (std::size_t i = 0; i < count; ++i) colours[i] = shadedSample(samples, i, colouring, colours[i], *gradient);
    if (k == 1) return;
    out.resize(width * (samples.rows / k));
    for (std::size_t y = 0; y < samples.rows / k; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            double sums[3] = {0, 0, 0};
            for (std::size_t j = 0; j < k; ++j)
                for (std::size_t i = 0; i < k; ++i) addLinear(colours[(y * k + j) * samples.width + x * k + i], sums);
            out[y * width + x] = averageOfLinear(sums, static_cast<int>(k * k));
        }
}

}  // namespace mandel
