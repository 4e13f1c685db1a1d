#include "deep/deep_picture_colours.h"

#include <algorithm>
#include <stdexcept>

#include "colour/gradients.h"
#include "colour/linear_light.h"
#include "colour/smooth_colouring.h"
#include "deep/deep_colour.h"

namespace mandel {

namespace {

// Sample i's colour; distances are in samples, K to the picture's pixel.
Rgb sampleColour(const SampleRows& samples, std::size_t i, const PictureColouring& c, const Gradient& gradient) {
    if (c.colouring.mode == ColouringMode::Bands) return Palette[deepColourIndex(samples.counts[i], c.limit, c.base)];
    const Rgb colour = smoothColour(samples.counts[i], samples.excess[i], c.limit, gradient, c.colouring.scale);
    if (c.colouring.mode != ColouringMode::Distance || samples.counts[i] >= c.limit) return colour;
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
    out.resize(width * (samples.rows / k));
    if (k == 1) {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = sampleColour(samples, i, colouring, *gradient);
        return;
    }
    for (std::size_t y = 0; y < samples.rows / k; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            double sums[3] = {0, 0, 0};
            for (std::size_t j = 0; j < k; ++j)
                for (std::size_t i = 0; i < k; ++i)
                    addLinear(sampleColour(samples, (y * k + j) * samples.width + x * k + i, colouring, *gradient),
                              sums);
            out[y * width + x] = averageOfLinear(sums, static_cast<int>(k * k));
        }
}

}  // namespace mandel
