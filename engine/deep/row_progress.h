#pragma once

// The rows a worker has handed out whose pixels are not all finished: in SIMD
// lanes the pixels of several rows are in flight at once, and a row is done
// when its last pixel is.

#include <algorithm>
#include <utility>
#include <vector>

namespace mandel {

class RowProgress {
public:
    void started(int row, int pixels) { rows_.emplace_back(row, pixels); }
    // One pixel of `row` finished; true where it was the row's last.
    bool pixelDone(int row) {
        const auto at = std::find_if(rows_.begin(), rows_.end(), [&](const auto& r) { return r.first == row; });
        if (--at->second > 0) return false;
        rows_.erase(at);
        return true;
    }

private:
    std::vector<std::pair<int, int>> rows_;  // (row, pixels not finished)
};

}  // namespace mandel
