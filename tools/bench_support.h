#pragma once

// Shared by the benchmarks: the regions they time.

#include <string>
#include <vector>

#include "drawing/picture_scan.h"
#include "region/presets.h"
#include "region/readout_text.h"
#include "region/region.h"
#include "timing.h"

namespace bench {

using mandel::tool::medianMs;

struct Region {
    std::string name;
    mandel::RegionTexts texts;  // the four read-outs, lbl1 to lbl4

    std::string label() const { return texts.real + " " + texts.imag + " " + texts.side + " " + texts.limit; }
};

// The window's start-up read-outs, the six presets, and a region inside the
// set where every point reaches the limit.
inline std::vector<Region> regions() {
    std::vector<Region> all{{"start-up", mandel::regionTexts(mandel::kStartRegion)}};
    for (std::size_t i = 0; i < mandel::kPresets.size(); ++i)
        all.push_back({"preset " + std::to_string(i + 1), mandel::regionTexts(mandel::kPresets[i].region)});
    all.push_back({"interior", {"-0.3", "-0.3", "0.2", "1500"}});
    return all;
}

// The window's drawing of a region: its settings and every point of the pass.
inline mandel::PictureScan windowDrawing(const Region& region) {
    return mandel::planPictureScan(region.texts, mandel::kLogicalSize, mandel::ScanExtent::WholePass);
}

}  // namespace bench
