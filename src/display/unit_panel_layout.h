#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "display/panel_geometry.h"
#include "display/rgb_color.h"

namespace velquor {

struct UnitState;

// Ids of the child controls the two unit panels set or place.
enum UnitPanelControlId : int {
    kIdEditSerialNumber = 101,
    kIdEditCalDate = 102,
    kIdEditFreqRange = 103,
    kIdEditResolution = 104,
    kIdEditFirmware = 105,
    kIdEditFrequency = 106,
    kIdEditCableLoss = 107,
    kIdBtnShowDbm = 110,
    kIdBtnShowWatt = 111,
    kIdBtnConnect = 212,
};

inline constexpr char kUnitPropertiesTitle[] = "Unit Properties";
inline constexpr char kUnitSetupTitle[] = "Unit Setup";
inline constexpr char kStatusConnected[] = "Orvane Connected!";
inline constexpr char kStatusNotConnected[] = "No Orvane Found!";

inline constexpr char kSerialNumberPlaceholder[] = "XXXXXX";
inline constexpr char kCalDatePlaceholder[] = "XX-XX-XXXX";
inline constexpr char kFreqRangePlaceholder[] = "XXX-XXXX";
inline constexpr char kResolutionPlaceholder[] = "X.X";
inline constexpr char kFirmwarePlaceholder[] = "X.XX";
inline constexpr char kFrequencyPlaceholder[] = "XXXX";
inline constexpr char kCableLossPlaceholder[] = "X.X";

inline constexpr RgbColor kTitleColor{0, 0, 0};
inline constexpr RgbColor kLabelColor{16, 16, 128};
inline constexpr RgbColor kStatusConnectedColor{16, 128, 16};
inline constexpr RgbColor kStatusNotConnectedColor{128, 16, 16};

// Standard top of the Unit Setup panel: below the Unit Properties panel plus a gap.
inline constexpr int kUnitSetupPanelTop = 170;

enum class PanelFont { Title, Status, Label };

// Measures a text in one of the view's fonts (the label font is also the edits' font).
using PanelTextMeasure = std::function<PanelTextExtent(PanelFont, const std::string&)>;

// A text drawn with its top-left corner at `at`.
struct PanelText {
    std::string text;
    PanelPoint at;
    PanelFont font = PanelFont::Label;
    RgbColor color;
    friend bool operator==(const PanelText&, const PanelText&) = default;
};

// What the view does to one child control, in the order given: set the text, move it (and
// repaint it), set the check state (and repaint it without erase), show it.
struct ControlUpdate {
    int id = 0;
    std::optional<std::string> text;
    std::optional<PanelRect> geometry;
    std::optional<bool> checked;
    bool show = false;
};

struct PanelDrawing {
    std::vector<PanelText> texts;
    std::vector<PanelLine> lines;  // frame and separator, in the view's panel pen
    std::vector<ControlUpdate> controls;
    PanelPoint extent;  // right edge x and bottom edge y
};

// Both layouts overwrite the unit's texts as the panels do: placeholders while not connected,
// the frequency range and resolution texts while connected.
PanelDrawing LayoutUnitPropertiesPanel(UnitState& unit, const PanelTextMeasure& measure);
PanelDrawing LayoutUnitSetupPanel(UnitState& unit, int top, const PanelTextMeasure& measure);

// Where the Unit Setup panel's three edit boxes go, for the panel at `top`. Measured
// in the label font, which draws the labels beside them and the boxes' own text.
struct SetupEditPlacement {
    PanelRect frequency;
    PanelRect cableLoss;
    PanelRect saveRate;
};
SetupEditPlacement PlaceSetupEdits(int top, const PanelTextMeasure& measure);

}  // namespace velquor
