#include "ui/statistics_panel.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "measure/statistics_text.h"
#include "ui/measure_controller.h"

namespace velquor {

CStatisticsPanel::CStatisticsPanel(CMeasureController& measure, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_measure(measure) {
    setWindowTitle("Statistics");
    setObjectName("statisticsPanel");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const measure::StatisticsSnapshot none;
    for (const auto& line : measure::DescribeStatistics(none, {}, false)) {
        auto* value = new QLabel(this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(
            QFontMetrics(value->font()).horizontalAdvance("000000 (00000 high, 00000 low)"));
        const QString label = QString::fromStdString(line.label);
        form->addRow(label + ":", value);
        m_values.emplace_back(label, value);
    }
    layout->addLayout(form);
    auto* reset = new QPushButton("Reset", this);
    reset->setObjectName("statisticsReset");
    connect(reset, &QPushButton::clicked, this, [this] {
        m_measure.ResetStatistics();
        Refresh();
    });
    layout->addWidget(reset, 0, Qt::AlignRight);
    Refresh();
}

void CStatisticsPanel::Refresh() {
    const measure::MeasurePipeline& p = m_measure.Pipeline();
    const auto lines =
        measure::DescribeStatistics(p.Statistics(), p.Failures(), p.Settings().limits.Any());
    for (std::size_t i = 0; i < lines.size() && i < m_values.size(); ++i)
        m_values[i].second->setText(QString::fromStdString(lines[i].value));
}

QString CStatisticsPanel::Value(const QString& label) const {
    for (const auto& [name, value] : m_values) {
        if (name == label)
            return value->text();
    }
    return {};
}

void CStatisticsPanel::showEvent(QShowEvent* event) {
    Refresh();
    m_timer.start(kRefreshMs, this);
    QWidget::showEvent(event);
}

void CStatisticsPanel::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

void CStatisticsPanel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        Refresh();
        return;
    }
    QWidget::timerEvent(event);
}

}  // namespace velquor
