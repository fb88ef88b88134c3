#include "display/unit_panel_layout.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "meter/unit_state.h"

namespace velquor {
namespace {

// Deterministic stand-in for font metrics: distinct widths per font so a mix-up shows.
PanelTextExtent FakeMeasure(PanelFont font, const std::string& text) {
    const int n = static_cast<int>(text.size());
    switch (font) {
        case PanelFont::Title:
            return {10 * n, 23};
        case PanelFont::Status:
            return {9 * n, 21};
        case PanelFont::Label:
            break;
    }
    return {7 * n, 16};
}

const ControlUpdate* Find(const PanelDrawing& d, int id) {
    const auto it = std::find_if(d.controls.begin(), d.controls.end(),
                                 [id](const ControlUpdate& u) { return u.id == id; });
    return it == d.controls.end() ? nullptr : &*it;
}

const PanelText* FindText(const PanelDrawing& d, const std::string& text) {
    const auto it = std::find_if(d.texts.begin(), d.texts.end(),
                                 [&](const PanelText& t) { return t.text == text; });
    return it == d.texts.end() ? nullptr : &*it;
}

void MakeConnected(UnitState& unit) {
    unit.m_bConnected = true;
    unit.m_strSerialNumber = "A1B2C3";
    unit.m_strCalDate = "AUG-18-2007";
    unit.m_strFirmware = "1.23";
    unit.m_bLowFrequency = true;
    unit.m_strFrequency = "1900";
    unit.m_strCableLoss = "1.5";
}

struct RowCase {
    int id;
    const char* label;
    int y;
    int dx;
    const char* connectedValue;
    const char* placeholder;
};

const RowCase kRows[] = {
    {kIdEditSerialNumber, "Serial Number:", 60, 5, "A1B2C3", "XXXXXX"},
    {kIdEditCalDate, "Calibration Date: ", 80, 2, "AUG-18-2007", "XX-XX-XXXX"},
    {kIdEditFreqRange, "Freqency Range (MHz):", 100, 2, "100-2700", "XXX-XXXX"},
    {kIdEditResolution, "Power Resolution (dBm):", 120, 2, "0.1", "X.X"},
    {kIdEditFirmware, "Firmware Version:", 140, 2, "1.23", "X.XX"},
};

TEST(UnitPropertiesLayout, ConnectedRowsShowValuesBesideLabels) {
    UnitState unit;
    MakeConnected(unit);
    const PanelDrawing d = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    for (const RowCase& row : kRows) {
        SCOPED_TRACE(row.label);
        const PanelText* label = FindText(d, row.label);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->at, (PanelPoint{10, row.y}));
        EXPECT_EQ(label->color, kLabelColor);
        const ControlUpdate* u = Find(d, row.id);
        ASSERT_NE(u, nullptr);
        ASSERT_TRUE(u->text.has_value());
        EXPECT_EQ(*u->text, row.connectedValue);
        const int labelWidth = 7 * static_cast<int>(std::string(row.label).size());
        const int valueWidth = 7 * static_cast<int>(std::string(row.connectedValue).size());
        EXPECT_EQ(u->geometry, (PanelRect{labelWidth + 10 + row.dx, row.y, valueWidth + 10, 16}));
        EXPECT_TRUE(u->show);
    }
    const PanelText* status = FindText(d, "Orvane Connected!");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->color, kStatusConnectedColor);
    EXPECT_EQ(status->font, PanelFont::Status);
    EXPECT_EQ(status->at, (PanelPoint{10, 35}));
    EXPECT_EQ(unit.m_strFreqRange, "100-2700");
    EXPECT_EQ(unit.m_strResolution, "0.1");

    unit.m_bLowFrequency = false;
    const PanelDrawing normal = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    EXPECT_EQ(*Find(normal, kIdEditFreqRange)->text, "700-2700");
}

TEST(UnitPropertiesLayout, NotConnectedShowsAndStoresPlaceholders) {
    UnitState unit;
    MakeConnected(unit);
    (void)LayoutUnitPropertiesPanel(unit, FakeMeasure);
    unit.m_bConnected = false;  // link lost
    const PanelDrawing d = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    for (const RowCase& row : kRows) {
        SCOPED_TRACE(row.label);
        const ControlUpdate* u = Find(d, row.id);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(*u->text, row.placeholder);
    }
    const PanelText* status = FindText(d, "No Orvane Found!");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->color, kStatusNotConnectedColor);
    EXPECT_EQ(FindText(d, "Orvane Connected!"), nullptr);
    EXPECT_EQ(unit.m_strSerialNumber, "XXXXXX");
    EXPECT_EQ(unit.m_strCalDate, "XX-XX-XXXX");
    EXPECT_EQ(unit.m_strFirmware, "X.XX");
}

TEST(UnitPropertiesLayout, LongSerialWidensFieldOnly) {
    UnitState unit;
    MakeConnected(unit);
    const PanelDrawing shortSerial = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    unit.m_strSerialNumber = "A1B2C3D4E5F6G7";
    const PanelDrawing longSerial = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    const PanelRect a = *Find(shortSerial, kIdEditSerialNumber)->geometry;
    const PanelRect b = *Find(longSerial, kIdEditSerialNumber)->geometry;
    EXPECT_EQ(b.x, a.x);
    EXPECT_EQ(b.y, a.y);
    EXPECT_EQ(b.width, 14 * 7 + 10);
    EXPECT_EQ(FindText(longSerial, "Serial Number:")->at, (PanelPoint{10, 60}));
}

TEST(UnitPropertiesLayout, ConnectButtonFrameAndExtent) {
    UnitState unit;
    const PanelDrawing d = LayoutUnitPropertiesPanel(unit, FakeMeasure);
    const ControlUpdate* connect = Find(d, kIdBtnConnect);
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->geometry, (PanelRect{191, 126, 32, 32}));
    EXPECT_TRUE(connect->show);
    EXPECT_FALSE(connect->text.has_value());
    const int w = 10 * 15;  // "Unit Properties"
    const std::vector<PanelLine> frame = {
        {{15, 20}, {5, 20}},     {{5, 20}, {5, 160}},       {{5, 160}, {225, 160}},
        {{225, 160}, {225, 20}}, {{225, 20}, {w + 20, 20}},
    };
    EXPECT_EQ(d.lines, frame);
    EXPECT_EQ(d.extent, (PanelPoint{225, 160}));
    EXPECT_EQ(d.texts.front(),
              (PanelText{"Unit Properties", {20, 10}, PanelFont::Title, kTitleColor}));
}

TEST(UnitSetupLayout, NotConnectedResetsSetupControls) {
    UnitState unit;
    MakeConnected(unit);
    unit.m_bConnected = false;
    const PanelDrawing d = LayoutUnitSetupPanel(unit, kUnitSetupPanelTop, FakeMeasure);
    const ControlUpdate* freq = Find(d, kIdEditFrequency);
    const ControlUpdate* loss = Find(d, kIdEditCableLoss);
    ASSERT_NE(freq, nullptr);
    ASSERT_NE(loss, nullptr);
    EXPECT_EQ(freq->text, std::optional<std::string>("XXXX"));
    EXPECT_EQ(loss->text, std::optional<std::string>("X.X"));
    EXPECT_FALSE(freq->geometry.has_value());  // placed by the view, not by this panel
    for (int id : {kIdBtnShowDbm, kIdBtnShowWatt}) {
        const ControlUpdate* check = Find(d, id);
        ASSERT_NE(check, nullptr) << id;
        EXPECT_EQ(check->checked, std::optional<bool>(false));
    }
    EXPECT_EQ(unit.m_strFrequency, "XXXX");
    EXPECT_EQ(unit.m_strCableLoss, "X.X");
}

TEST(UnitSetupLayout, ConnectedLeavesControlsAlone) {
    UnitState unit;
    MakeConnected(unit);
    const PanelDrawing d = LayoutUnitSetupPanel(unit, kUnitSetupPanelTop, FakeMeasure);
    EXPECT_TRUE(d.controls.empty());
    EXPECT_EQ(unit.m_strFrequency, "1900");
    EXPECT_EQ(unit.m_strCableLoss, "1.5");
}

TEST(UnitSetupLayout, LabelsSeparatorFrameAndExtent) {
    UnitState unit;
    const int a = 170;
    const PanelDrawing d = LayoutUnitSetupPanel(unit, a, FakeMeasure);
    const std::pair<const char*, int> labels[] = {
        {"Frequency (MHz):", a + 30},
        {"Cable Loss or Other Correction(dB):", a + 52},
        {"Display Setup", a + 143},
        {"File Save Rate:", a + 209},
        {"(Every 1.0 to 3600.0 seconds)", a + 231},
    };
    for (const auto& [text, y] : labels) {
        const PanelText* t = FindText(d, text);
        ASSERT_NE(t, nullptr) << text;
        EXPECT_EQ(t->at, (PanelPoint{10, y}));
        EXPECT_EQ(t->color, kLabelColor);
        EXPECT_EQ(t->font, PanelFont::Label);
    }
    const int w = 10 * 10;  // "Unit Setup"
    const std::vector<PanelLine> lines = {
        {{5, a + 204}, {225, a + 204}},  {{15, a + 10}, {5, a + 10}},
        {{5, a + 10}, {5, a + 253}},     {{5, a + 253}, {225, a + 253}},
        {{225, a + 253}, {225, a + 10}}, {{225, a + 10}, {w + 20, a + 10}},
    };
    EXPECT_EQ(d.lines, lines);
    EXPECT_EQ(d.extent, (PanelPoint{225, a + 253}));
}

}  // namespace
}  // namespace velquor

namespace velquor {
namespace {

TEST(UnitSetupLayout, EditBoxesFollowTheLabelFont) {
    // FakeMeasure: 7 pixels a character, 16 high, in the label font.
    const SetupEditPlacement p = PlaceSetupEdits(170, FakeMeasure);
    EXPECT_EQ(p.frequency, (PanelRect{10 + 7 * 16 + 6, 200, 50, 17}));
    EXPECT_EQ(p.cableLoss, (PanelRect{12, 242, 50, 17}));
    EXPECT_EQ(p.saveRate, (PanelRect{10 + 7 * 15 + 2, 378, 50, 17}));
    // Each box starts after its label and ends inside the panel's frame at x 225.
    for (const PanelRect& box : {p.frequency, p.saveRate})
        EXPECT_LE(box.x + box.width, 225);
}

}  // namespace
}  // namespace velquor
