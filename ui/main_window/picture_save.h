#pragma once

#include <QImage>
#include <QString>

namespace mandel_ui {

// Outcome of writing the picture to a file.
struct SaveResult {
    bool ok = false;
    QString error;  // why it failed; empty on success
};

// Writes the image as a 24-bit Windows bitmap, replacing a file of that
// name. The engine's safe writer puts the file in place only once it is
// complete: a failure leaves whatever was there before.
SaveResult savePicture(const QImage& image, const QString& path);

}  // namespace mandel_ui
