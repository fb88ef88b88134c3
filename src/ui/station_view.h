#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

#include "display/station_panel.h"
#include "display/station_trace.h"

class QComboBox;
class QLabel;

namespace velquor {

// A meter's line colour in the station view: distinct for the first eight.
QColor StationMeterColor(std::size_t meter);

// The meters' tiles, reflowing with the width; a click on a tile asks for its panel.
class CStationTiles : public QWidget {
    Q_OBJECT

public:
    explicit CStationTiles(QWidget* parent = nullptr);
    void SetTiles(const std::vector<StationTileTexts>& tiles);
    const std::vector<StationTileTexts>& Tiles() const { return m_tiles; }
    // Where tile i is drawn now (tests, the walk-through).
    QRect TileRect(std::size_t i) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void tileClicked(int meter);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int TileHeight() const;
    int MinTileWidth() const;
    std::vector<::velquor::TileRect> Grid(int width) const;

    std::vector<StationTileTexts> m_tiles;
};

// Every meter's power over the last minutes, one line per meter with its legend;
// where more readings fall on a pixel than it can show, their range is drawn.
class CStationGraph : public QWidget {
    Q_OBJECT

public:
    explicit CStationGraph(const StationTrace& trace, QWidget* parent = nullptr);
    void SetNames(const std::vector<std::string>& names) { m_names = names; }
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    const StationTrace& m_trace;
    std::vector<std::string> m_names;
};

// The station view: tiles, the combined readout of two meters, and the graph.
class CStationView : public QWidget {
    Q_OBJECT

public:
    CStationView(std::size_t meters, double span_s, QWidget* parent = nullptr);

    void SetNames(const std::vector<std::string>& names);
    // A meter added to the station: its line in the graph (its tile comes with
    // SetTiles, its name with SetNames).
    void AddMeter() { m_trace.AddMeter(); }
    void SetTiles(const std::vector<StationTileTexts>& tiles) { m_tiles->SetTiles(tiles); }
    // The shown powers the combined readout uses (nothing for a meter without one).
    void SetShownPowers(const std::vector<std::optional<double>>& dbm);
    StationTrace& Trace() { return m_trace; }
    void RedrawGraph();

    CStationTiles* Tiles() const { return m_tiles; }
    CStationGraph* Graph() const { return m_graph; }
    QComboBox* CombineA() const { return m_comboA; }
    QComboBox* CombineB() const { return m_comboB; }
    QComboBox* CombineKindBox() const { return m_comboKind; }
    QString CombinedText() const;

signals:
    void tileClicked(int meter);

private:
    void UpdateCombined();

    StationTrace m_trace;
    CStationTiles* m_tiles = nullptr;
    CStationGraph* m_graph = nullptr;
    QComboBox* m_comboA = nullptr;
    QComboBox* m_comboB = nullptr;
    QComboBox* m_comboKind = nullptr;
    QComboBox* m_comboSpan = nullptr;
    QLabel* m_combined = nullptr;
    std::vector<std::optional<double>> m_shown;
};

}  // namespace velquor
