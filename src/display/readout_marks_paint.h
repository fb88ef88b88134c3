#pragma once

#include <QImage>

#include "display/measurement_update.h"

namespace velquor {

inline constexpr RgbColor kReadoutFailedColor{210, 0, 0};

// Draws the measurement math's marks into a copy of the dBm sensor picture (171 x 97):
// the caption row and the lamp row are painted over in the body's own colours and
// written anew. Marks with nothing in them leave the picture untouched.
void DrawReadoutMarks(QImage& sensor, const ReadoutMarks& marks);

}  // namespace velquor
