#pragma once

#include <string>

#include "display/measurement_update.h"
#include "measure/measure_pipeline.h"

namespace velquor {

// True when the measurement math shows the plain reading: no averaging, offset,
// relative, max hold or limits, unit dBm. The panel then draws exactly as it
// always did, from the meter's latest reading.
bool MeasureIsPlain(const measure::MeasureSettings& settings);

// The measurement panel's readouts under the measurement math: the numbers, and
// the marks drawn into the dBm sensor picture. Computed at every redraw.
//   caption  replaces "RF POWER SENSOR": "REL", "AVG 16", "OFS +30.0", "MAX"
//   lamp row the left lamp lit with the unit ("dB" when relative, "mW", "dBuV"),
//            the right lamp green "PASS" or red "HIGH" / "LOW" under user limits
// A failed limit also draws both numbers in red.
void ApplyMeasureReadouts(MeasurementPanelContent& content, MeasurementDisplayState& state,
                          bool connected, const measure::MeasurePipeline& pipeline);

}  // namespace velquor
