#include "ui/station_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace velquor {

namespace {

constexpr int kGap = 8;
constexpr int kPad = 8;
constexpr double kSpans[] = {60.0, 300.0, 600.0};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont BigFont(const QFont& base) {
    QFont big = base;
    big.setPointSizeF(std::max(base.pointSizeF(), 6.0) * 2.2);
    big.setBold(true);
    return big;
}

// A text cut with an ellipsis where it does not fit: a tile never spills over.
void DrawFitted(QPainter& p, const QRect& r, int flags, const QString& text) {
    p.drawText(r, flags, p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
}

QColor StatusColor(const std::string& status) {
    if (status == "connected")
        return QColor(0, 128, 0);
    if (status.rfind("reconnecting", 0) == 0)
        return QColor(200, 110, 0);
    return QColor(190, 0, 0);
}

int LabelDecimals(double step) {
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

}  // namespace

QColor StationMeterColor(std::size_t meter) {
    // Told apart also by readers with a red-green weakness.
    static constexpr QRgb kColors[] = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7,
                                       0xE69F00, 0x56B4E9, 0x000000, 0x8C564B};
    return QColor(kColors[meter % std::size(kColors)]);
}

CStationTiles::CStationTiles(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setCursor(Qt::PointingHandCursor);
}

void CStationTiles::SetTiles(const std::vector<StationTileTexts>& tiles) {
    const bool reflow = tiles.size() != m_tiles.size();
    m_tiles = tiles;
    if (reflow)
        updateGeometry();
    update();
}

int CStationTiles::TileHeight() const {
    const QFontMetrics small(font());
    const QFontMetrics big(BigFont(font()));
    return 2 * kPad + 4 * small.height() + big.height() + 4;
}

int CStationTiles::MinTileWidth() const {
    const QFontMetrics small(font());
    const QFontMetrics big(BigFont(font()));
    return 2 * kPad + std::max(big.horizontalAdvance("-88.88 dBuV"),
                               small.horizontalAdvance("OV0000000  reconnecting (lost 99 s)"));
}

std::vector<::velquor::TileRect> CStationTiles::Grid(int width) const {
    return StationTileGrid(width, m_tiles.size(), MinTileWidth(), TileHeight(), kGap);
}

QRect CStationTiles::TileRect(std::size_t i) const {
    const std::vector<velquor::TileRect> grid = Grid(width());
    if (i >= grid.size())
        return {};
    return {grid[i].x, grid[i].y, grid[i].w, grid[i].h};
}

int CStationTiles::heightForWidth(int width) const {
    return StationTileGridHeight(width, m_tiles.size(), MinTileWidth(), TileHeight(), kGap);
}

QSize CStationTiles::sizeHint() const {
    const int w = std::min<int>(static_cast<int>(m_tiles.size()), 2) * (MinTileWidth() + kGap) + kGap;
    return {w, heightForWidth(w)};
}

QSize CStationTiles::minimumSizeHint() const {
    return {MinTileWidth() + 2 * kGap, TileHeight() + 2 * kGap};
}

void CStationTiles::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont small = font();
    QFont bold = small;
    bold.setBold(true);
    const QFont big = BigFont(small);
    const int line = QFontMetrics(small).height();
    const int bigLine = QFontMetrics(big).height();
    const std::vector<velquor::TileRect> grid = Grid(width());
    for (std::size_t i = 0; i < m_tiles.size() && i < grid.size(); ++i) {
        const StationTileTexts& t = m_tiles[i];
        const QRect box(grid[i].x, grid[i].y, grid[i].w, grid[i].h);
        p.setPen(QPen(StationMeterColor(i), 2));
        p.setBrush(palette().base());
        p.drawRoundedRect(box.adjusted(1, 1, -1, -1), 6, 6);
        const QRect in = box.adjusted(kPad, kPad, -kPad, -kPad);
        int y = in.top();
        const int half = in.width() / 2;
        p.setPen(palette().text().color());
        // The status gets the room it needs (its seconds must stay readable); the
        // name takes what is left.
        p.setFont(small);
        const int statusW = std::min(p.fontMetrics().horizontalAdvance(Q(t.status)) + 4, in.width());
        p.setPen(StatusColor(t.status));
        DrawFitted(p, QRect(in.right() + 1 - statusW, y, statusW, line),
                   Qt::AlignRight | Qt::AlignVCenter, Q(t.status));
        p.setPen(palette().text().color());
        p.setFont(bold);
        DrawFitted(p, QRect(in.left(), y, std::max(in.width() - statusW - 6, 0), line),
                   Qt::AlignLeft | Qt::AlignVCenter, Q(t.name));
        p.setFont(small);
        y += line + 2;
        // The big readout shrinks rather than being cut off.
        QFont fitted = big;
        while (QFontMetrics(fitted).horizontalAdvance(Q(t.power)) > in.width() &&
               fitted.pointSizeF() > small.pointSizeF())
            fitted.setPointSizeF(fitted.pointSizeF() - 1.0);
        p.setFont(fitted);
        p.setPen(palette().text().color());
        p.drawText(QRect(in.left(), y, in.width(), bigLine), Qt::AlignCenter, Q(t.power));
        y += bigLine + 2;
        p.setFont(small);
        DrawFitted(p, QRect(in.left(), y, half, line), Qt::AlignLeft | Qt::AlignVCenter, Q(t.watts));
        if (!t.limit.empty()) {
            const bool pass = t.limit == "PASS";
            const int d = line - 4;
            const QRect lampText(in.left() + half, y, in.width() - half - d - 4, line);
            p.setPen(Qt::NoPen);
            p.setBrush(pass ? QColor(0, 170, 0) : QColor(220, 0, 0));
            p.drawEllipse(QRect(in.right() - d, y + 2, d, d));
            p.setPen(palette().text().color());
            DrawFitted(p, lampText, Qt::AlignRight | Qt::AlignVCenter, Q(t.limit));
        }
        y += line;
        DrawFitted(p, QRect(in.left(), y, half, line), Qt::AlignLeft | Qt::AlignVCenter,
                   Q(t.temperature));
        DrawFitted(p, QRect(in.left() + half, y, in.width() - half, line),
                   Qt::AlignRight | Qt::AlignVCenter, "Battery " + Q(t.battery));
        y += line;
        p.setPen(QColor(0, 90, 170));
        DrawFitted(p, QRect(in.left(), y, in.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                   Q(t.marks));
    }
}

void CStationTiles::mouseReleaseEvent(QMouseEvent* e) {
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        if (TileRect(i).contains(e->position().toPoint())) {
            emit tileClicked(static_cast<int>(i));
            return;
        }
    }
    QWidget::mouseReleaseEvent(e);
}

CStationGraph::CStationGraph(const StationTrace& trace, QWidget* parent)
    : QWidget(parent), m_trace(trace) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize CStationGraph::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance("-100.000") + 200, fm.height() * 8};
}

void CStationGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QFontMetrics fm(font());
    const QRect plot(fm.horizontalAdvance("-100.000") + 10, fm.height() + 8,
                     std::max(width() - fm.horizontalAdvance("-100.000") - 20, 10),
                     std::max(height() - 3 * fm.height() - 12, 10));
    const double t1 = m_trace.Latest();
    const double t0 = t1 - m_trace.Span();
    std::vector<std::vector<TraceColumn>> columns;
    double low = INFINITY, high = -INFINITY;
    for (std::size_t m = 0; m < m_trace.Meters(); ++m) {
        columns.push_back(TraceColumns(m_trace.Series(m), t0, t1, plot.width()));
        for (const TraceColumn& c : columns.back()) {
            if (c.any) {
                low = std::min(low, c.min);
                high = std::max(high, c.max);
            }
        }
    }
    const bool anything = std::isfinite(low);
    // A little room above and below, so no line runs along the frame.
    const double pad = anything ? std::max((high - low) * 0.03, 0.01) : 0.0;
    const AxisScale y = anything ? NiceAxisScale(low - pad, high + pad, 6) : AxisScale{-60, 0, 10};
    const AxisScale x = NiceAxisScale(-m_trace.Span(), 0, 6);
    auto ypx = [&](double dbm) {
        return plot.bottom() - (dbm - y.low) / (y.high - y.low) * plot.height();
    };
    p.setPen(QColor(215, 215, 215));
    const int decimals = LabelDecimals(y.step);
    for (double v = y.low; v <= y.high + y.step * 1e-6; v += y.step) {
        const int py = static_cast<int>(std::lround(ypx(v)));
        p.setPen(QColor(215, 215, 215));
        p.drawLine(plot.left(), py, plot.right(), py);
        p.setPen(palette().text().color());
        p.drawText(QRect(0, py - fm.height() / 2, plot.left() - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }
    for (double v = x.low; v <= x.high + x.step * 1e-6; v += x.step) {
        const int px = plot.left() + static_cast<int>(std::lround((v - x.low) / (x.high - x.low) *
                                                                  plot.width()));
        p.setPen(QColor(230, 230, 230));
        p.drawLine(px, plot.top(), px, plot.bottom());
        p.setPen(palette().text().color());
        const QString label = QString::number(v, 'f', LabelDecimals(x.step)) + " s";
        const int w = fm.horizontalAdvance(label) + 4;
        // The last label ends at the plot's edge rather than past the widget's.
        const int left = std::clamp(px - w / 2, 0, std::max(width() - w, 0));
        p.drawText(QRect(left, plot.bottom() + 2, w, fm.height()), Qt::AlignCenter, label);
    }
    p.setPen(palette().text().color());
    p.drawRect(plot);
    p.drawText(QRect(2, plot.top() - fm.height() - 2, plot.left(), fm.height()), Qt::AlignLeft,
               "dBm");
    p.setClipRect(plot.adjusted(1, 1, 0, 0));
    for (std::size_t m = 0; m < columns.size(); ++m) {
        p.setPen(QPen(StationMeterColor(m), 1.5));
        QPainterPath path;
        bool drawing = false;
        for (int c = 0; c < static_cast<int>(columns[m].size()); ++c) {
            const TraceColumn& col = columns[m][static_cast<std::size_t>(c)];
            // Readings slower than the pixels leave empty columns between them; only
            // a loss of the meter breaks the line.
            if (col.gap)
                drawing = false;
            if (!col.any)
                continue;
            const double px = plot.left() + c + 0.5;
            const double mid = ypx((col.min + col.max) / 2);
            if (drawing)
                path.lineTo(px, mid);
            else
                path.moveTo(px, mid);
            drawing = true;
            if (col.max - col.min > (y.high - y.low) / plot.height()) {
                path.moveTo(px, ypx(col.min));
                path.lineTo(px, ypx(col.max));
                path.moveTo(px, mid);
            }
        }
        p.drawPath(path);
    }
    p.setClipping(false);
    // The legend, in a row above the plot, so it never hides a line.
    int lx = plot.left();
    for (std::size_t m = 0; m < m_names.size(); ++m) {
        const QString name = Q(m_names[m]);
        p.setPen(QPen(StationMeterColor(m), 3));
        p.drawLine(lx, fm.height() / 2 + 1, lx + 20, fm.height() / 2 + 1);
        p.setPen(palette().text().color());
        p.drawText(QPoint(lx + 24, fm.ascent() + 1), name);
        lx += 24 + fm.horizontalAdvance(name) + 16;
    }
}

CStationView::CStationView(std::size_t meters, double span_s, QWidget* parent)
    : QWidget(parent), m_trace(meters, span_s), m_shown(meters) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_tiles = new CStationTiles(this);
    m_tiles->setObjectName("stationTiles");
    layout->addWidget(m_tiles);
    auto* row = new QHBoxLayout;
    m_comboA = new QComboBox(this);
    m_comboA->setObjectName("combineA");
    m_comboKind = new QComboBox(this);
    m_comboKind->setObjectName("combineKind");
    m_comboKind->addItems({"\u2212 (dB)", "/ (ratio)"});
    m_comboB = new QComboBox(this);
    m_comboB->setObjectName("combineB");
    m_combined = new QLabel("---", this);
    m_combined->setObjectName("combined");
    QFont big = font();
    big.setBold(true);
    big.setPointSizeF(std::max(big.pointSizeF(), 6.0) * 1.4);
    m_combined->setFont(big);
    m_comboSpan = new QComboBox(this);
    m_comboSpan->setObjectName("traceSpan");
    m_comboSpan->addItems({"last 1 min", "last 5 min", "last 10 min"});
    row->addWidget(m_comboA);
    row->addWidget(m_comboKind);
    row->addWidget(m_comboB);
    row->addWidget(new QLabel("=", this));
    row->addWidget(m_combined, 1);
    row->addWidget(m_comboSpan);
    layout->addLayout(row);
    m_graph = new CStationGraph(m_trace, this);
    m_graph->setObjectName("stationGraph");
    layout->addWidget(m_graph, 1);
    connect(m_tiles, &CStationTiles::tileClicked, this, &CStationView::tileClicked);
    for (QComboBox* box : {m_comboA, m_comboB, m_comboKind})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { UpdateCombined(); });
    connect(m_comboSpan, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_trace.SetSpan(kSpans[std::clamp(i, 0, 2)]);
        m_graph->update();
    });
    for (int i = 0; i < 3; ++i)
        if (std::fabs(span_s - kSpans[i]) < 1e-9)
            m_comboSpan->setCurrentIndex(i);
}

void CStationView::SetNames(const std::vector<std::string>& names) {
    m_graph->SetNames(names);
    for (QComboBox* box : {m_comboA, m_comboB}) {
        const int at = box->currentIndex();
        box->clear();
        for (const std::string& n : names)
            box->addItem(Q(n));
        box->setCurrentIndex(at);
    }
    if (m_comboA->currentIndex() < 0 && !names.empty())
        m_comboA->setCurrentIndex(0);
    if (m_comboB->currentIndex() < 0 && names.size() > 1)
        m_comboB->setCurrentIndex(1);
    UpdateCombined();
}

void CStationView::SetShownPowers(const std::vector<std::optional<double>>& dbm) {
    m_shown = dbm;
    UpdateCombined();
}

QString CStationView::CombinedText() const {
    return m_combined->text();
}

void CStationView::UpdateCombined() {
    const int a = m_comboA->currentIndex();
    const int b = m_comboB->currentIndex();
    auto shown = [this](int i) -> std::optional<double> {
        if (i < 0 || i >= static_cast<int>(m_shown.size()))
            return std::nullopt;
        return m_shown[static_cast<std::size_t>(i)];
    };
    const CombineKind kind =
        m_comboKind->currentIndex() == 1 ? CombineKind::Ratio : CombineKind::Difference;
    const QString text = Q(CombinedReadout(kind, shown(a), shown(b)));
    if (text != m_combined->text())
        m_combined->setText(text);
}

void CStationView::RedrawGraph() {
    m_graph->update();
}

}  // namespace velquor
