#include "display/unit_panel_layout.h"

#include "meter/unit_state.h"

namespace velquor {

namespace {

// The five-line panel frame, open at the top between x 15 and the title's end.
void AddFrame(PanelDrawing& d, int top, int bottom, int titleWidth) {
    d.lines.push_back({{15, top}, {5, top}});
    d.lines.push_back({{5, top}, {5, bottom}});
    d.lines.push_back({{5, bottom}, {225, bottom}});
    d.lines.push_back({{225, bottom}, {225, top}});
    d.lines.push_back({{225, top}, {titleWidth + 20, top}});
}

void AddLabel(PanelDrawing& d, const char* text, int x, int y) {
    d.texts.push_back({text, {x, y}, PanelFont::Label, kLabelColor});
}

struct PropertyRow {
    const char* label;
    int y;
    int dx;
    int id;
    std::string UnitState::*value;
    const char* placeholder;
};

}  // namespace

PanelDrawing LayoutUnitPropertiesPanel(UnitState& unit, const PanelTextMeasure& measure) {
    PanelDrawing d;
    const bool connected = unit.m_bConnected.load();

    d.texts.push_back({kUnitPropertiesTitle, {20, 10}, PanelFont::Title, kTitleColor});
    const int titleWidth = measure(PanelFont::Title, kUnitPropertiesTitle).cx;

    d.texts.push_back({connected ? kStatusConnected : kStatusNotConnected,
                       {10, 35},
                       PanelFont::Status,
                       connected ? kStatusConnectedColor : kStatusNotConnectedColor});

    if (connected) {
        unit.m_strFreqRange = unit.m_bLowFrequency ? "100-2700" : "700-2700";
        unit.m_strResolution = "0.1";
    }

    static const PropertyRow kRows[] = {
        {"Serial Number:", 60, 5, kIdEditSerialNumber, &UnitState::m_strSerialNumber,
         kSerialNumberPlaceholder},
        {"Calibration Date: ", 80, 2, kIdEditCalDate, &UnitState::m_strCalDate,
         kCalDatePlaceholder},
        {"Freqency Range (MHz):", 100, 2, kIdEditFreqRange, &UnitState::m_strFreqRange,
         kFreqRangePlaceholder},
        {"Power Resolution (dBm):", 120, 2, kIdEditResolution, &UnitState::m_strResolution,
         kResolutionPlaceholder},
        {"Firmware Version:", 140, 2, kIdEditFirmware, &UnitState::m_strFirmware,
         kFirmwarePlaceholder},
    };
    for (const PropertyRow& row : kRows) {
        AddLabel(d, row.label, 10, row.y);
        const int labelWidth = measure(PanelFont::Label, row.label).cx;
        std::string& value = unit.*row.value;
        if (!connected)
            value = row.placeholder;
        // An unread serial number stays empty in the state: only its text says so.
        const std::string shown = row.id == kIdEditSerialNumber ? SerialNumberText(value) : value;
        const PanelTextExtent valueExtent = measure(PanelFont::Label, shown);
        ControlUpdate update;
        update.id = row.id;
        update.text = shown;
        update.geometry =
            PanelRect{labelWidth + 10 + row.dx, row.y, valueExtent.cx + 10, valueExtent.cy};
        update.show = true;
        d.controls.push_back(std::move(update));
    }

    ControlUpdate connect;
    connect.id = kIdBtnConnect;
    connect.geometry = PanelRect{191, 126, 32, 32};
    connect.show = true;
    d.controls.push_back(std::move(connect));

    AddFrame(d, 20, 160, titleWidth);
    d.extent = {225, 160};
    return d;
}

PanelDrawing LayoutUnitSetupPanel(UnitState& unit, int top, const PanelTextMeasure& measure) {
    PanelDrawing d;
    const bool connected = unit.m_bConnected.load();

    d.texts.push_back({kUnitSetupTitle, {20, top}, PanelFont::Title, kTitleColor});
    const int titleWidth = measure(PanelFont::Title, kUnitSetupTitle).cx;

    AddLabel(d, "Frequency (MHz):", 10, top + 30);
    if (!connected) {
        unit.m_strFrequency = kFrequencyPlaceholder;
        d.controls.push_back({kIdEditFrequency, unit.m_strFrequency, {}, {}, false});
    }

    AddLabel(d, "Cable Loss or Other Correction(dB):", 10, top + 52);
    if (!connected) {
        unit.m_strCableLoss = kCableLossPlaceholder;
        d.controls.push_back({kIdEditCableLoss, unit.m_strCableLoss, {}, {}, false});
    }

    AddLabel(d, "Display Setup", 10, top + 143);
    if (!connected) {
        d.controls.push_back({kIdBtnShowDbm, {}, {}, false, false});
        d.controls.push_back({kIdBtnShowWatt, {}, {}, false, false});
    }

    d.lines.push_back({{5, top + 204}, {225, top + 204}});
    AddLabel(d, "File Save Rate:", 10, top + 209);
    AddLabel(d, "(Every 1.0 to 3600.0 seconds)", 10, top + 231);

    AddFrame(d, top + 10, top + 253, titleWidth);
    d.extent = {225, top + 253};
    return d;
}

SetupEditPlacement PlaceSetupEdits(int top, const PanelTextMeasure& measure) {
    constexpr int kWidth = 50;
    // The gaps after the labels and the box height are those the window has always
    // had with the default fonts.
    const int height = measure(PanelFont::Label, "Frequency (MHz):").cy + 1;
    const int frequencyX = 10 + measure(PanelFont::Label, "Frequency (MHz):").cx + 6;
    const int saveRateX = 10 + measure(PanelFont::Label, "File Save Rate:").cx + 2;
    return {{frequencyX, top + 30, kWidth, height},
            {12, top + 72, kWidth, height},
            {saveRateX, top + 208, kWidth, height}};
}

}  // namespace velquor
