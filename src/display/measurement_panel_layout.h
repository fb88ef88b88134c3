#pragma once

#include <array>

#include "display/panel_geometry.h"

namespace velquor {

inline constexpr char kMeasurementDataTitle[] = "Measurement Data";

// Standard left reference of the panel; its frame starts 5 pixels further left.
inline constexpr int kMeasurementPanelX0 = 235;
inline constexpr PanelPoint kMeasurementPanelExtent{750, 143};

inline constexpr int kReadoutBitmapWidth = 171;
inline constexpr int kReadoutBitmapHeight = 97;
inline constexpr int kBatteryBitmapWidth = 150;
inline constexpr int kBatteryBitmapHeight = 20;

// Where the parts of the panel go in the view, for a left reference x0 and the measured width
// of the title in the title font.
struct MeasurementPanelLayout {
    PanelPoint title;
    PanelPoint battery;  // bitmap 149
    PanelPoint dbm;      // bitmap 136
    PanelPoint watt;     // bitmap 135
    PanelPoint dial;     // bitmap 137
    std::array<PanelLine, 5> frame;
    PanelRect stripClear;  // whitened at every redraw
    PanelRect strip;       // the blinking alarm strip
    PanelPoint message;
};

MeasurementPanelLayout LayoutMeasurementPanel(int x0, int titleWidth);

}  // namespace velquor
