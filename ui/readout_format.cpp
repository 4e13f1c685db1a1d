#include "readout_format.h"

#include "region/readout_text.h"

namespace mandel_ui {

QString readoutText(int tenThousandths) { return QString::fromStdString(mandel::readoutText(tenThousandths)); }

QString iterationText(int iterations) { return QString::fromStdString(mandel::iterationText(iterations)); }

}  // namespace mandel_ui
