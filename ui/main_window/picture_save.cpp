#include "picture_save.h"

#include <QFile>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "colour/banding.h"
#include "files/bmp_format.h"
#include "files/safe_file.h"

namespace mandel_ui {

namespace {

// The image's pixels row by row from the top-left, as packed colours.
std::vector<std::uint32_t> packedColours(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> colours;
    colours.reserve(static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            colours.push_back(mandel::packColour({static_cast<std::uint8_t>(qRed(line[x])),
                                                  static_cast<std::uint8_t>(qGreen(line[x])),
                                                  static_cast<std::uint8_t>(qBlue(line[x]))}));
    }
    return colours;
}

}  // namespace

SaveResult savePicture(const QImage& image, const QString& path) {
    try {
        mandel::writeBmpFile(QFile::encodeName(path).toStdString(), static_cast<std::size_t>(image.width()),
                             static_cast<std::size_t>(image.height()), packedColours(image));
    } catch (const mandel::FileWriteError& error) {
        // The message names the path already; the reason is what is left to say.
        return {false, QString::fromStdString(error.reason().empty() ? error.what() : error.reason())};
    } catch (const std::invalid_argument& error) {
        return {false, QString::fromStdString(error.what())};
    }
    return {true, QString()};
}

}  // namespace mandel_ui
