#include "readout_format.h"

#include "region/readout_text.h"

namespace mandel_ui {

QString positionQString(int tenThousandths) { return QString::fromStdString(mandel::positionText(tenThousandths)); }

QString iterationText(int iterations) { return QString::fromStdString(mandel::iterationText(iterations)); }

}  // namespace mandel_ui
