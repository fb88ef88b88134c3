#include "display/measurement_panel_layout.h"

namespace velquor {

MeasurementPanelLayout LayoutMeasurementPanel(int x0, int titleWidth) {
    const int w = titleWidth;
    MeasurementPanelLayout l;
    l.title = {x0 + 10, 10};
    // The gauge sits at a fixed place near the right edge, not relative to x0.
    l.battery = {586, 21};
    l.dbm = {x0, 42};
    l.watt = {x0 + 172, 42};
    l.dial = {x0 + 344, 42};
    l.frame = {{
        {{x0 + 5, 20}, {x0 - 5, 20}},
        {{x0 - 5, 20}, {x0 - 5, 143}},
        {{x0 - 5, 143}, {755, 143}},
        {{755, 143}, {755, 20}},
        {{755, 20}, {x0 + 10 + w, 20}},
    }};
    l.stripClear = {x0 + 9 + w, 21, 155, 20};
    l.strip = {x0 + 10 + w, 21, 145, 19};
    l.message = {x0 + 15 + w, 22};
    return l;
}

}  // namespace velquor
