#include "export_view.h"

#include <QFileInfo>
#include <algorithm>
#include <charconv>

namespace mandel_ui {

ExportFormat exportFormatForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("bmp")) return ExportFormat::Bmp;
    if (suffix == QStringLiteral("npy")) return ExportFormat::CountMap;
    return ExportFormat::Png;
}

QSize exportedPixels(const ExportRequest& request) {
    const int longer = request.size;
    if (!request.explorer || request.explorer->square) return {longer, longer};
    const QSize view = request.explorer->viewPixels;
    if (view.width() <= 0 || view.height() <= 0 || view.width() == view.height()) return {longer, longer};
    // longer · short / long, to the nearest pixel (halves up), in 64 bits.
    auto shorterSide = [longer](std::int64_t shortPixels, std::int64_t longPixels) {
        const std::int64_t rounded = (2 * longer * shortPixels + longPixels) / (2 * longPixels);
        return static_cast<int>(std::clamp<std::int64_t>(rounded, mandel::kMinPictureSize, longer));
    };
    if (view.width() > view.height()) return {longer, shorterSide(view.height(), view.width())};
    return {shorterSide(view.width(), view.height()), longer};
}

mandel::DeepView exportedView(const ExportRequest& request) {
    const QSize pixels = exportedPixels(request);
    if (request.explorer) return mandel::toDeepView(request.explorer->location, pixels.width(), pixels.height());
    std::int64_t limit = 0;
    const std::string& text = request.region.limit;
    std::from_chars(text.data(), text.data() + text.size(), limit);
    return {{request.region.real, request.region.imag, request.region.side, limit}, pixels.width(), pixels.height()};
}

std::int64_t exportedBase(const ExportRequest& request) {
    return request.explorer ? request.explorer->location.base : 0;
}

}  // namespace mandel_ui
