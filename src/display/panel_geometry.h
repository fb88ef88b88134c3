#pragma once

namespace velquor {

// Client pixels of the view, or pixels inside a bitmap where a caller says so.
struct PanelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PanelPoint&, const PanelPoint&) = default;
};

struct PanelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PanelRect&, const PanelRect&) = default;
};

// A frame line drawn with the view's panel pen.
struct PanelLine {
    PanelPoint from;
    PanelPoint to;
    friend bool operator==(const PanelLine&, const PanelLine&) = default;
};

// Width and height of a text as the font that draws it measures it.
struct PanelTextExtent {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const PanelTextExtent&, const PanelTextExtent&) = default;
};

}  // namespace velquor
