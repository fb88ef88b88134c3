#pragma once

#include <QBasicTimer>
#include <QWidget>
#include <vector>

class QLabel;

namespace velquor {

class CMeasureController;

// A small window with the statistics since the last reset (count, min, max, mean,
// std dev, elapsed, failures) and a Reset button. It reads the controller while it
// is shown, a few times a second; it keeps nothing of its own.
class CStatisticsPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 250;

    CStatisticsPanel(CMeasureController& measure, QWidget* parent);

    // Shows the controller's current figures at once.
    void Refresh();
    // The value shown beside a label ("Count", "Min", ...), for tests.
    QString Value(const QString& label) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CMeasureController& m_measure;
    std::vector<std::pair<QString, QLabel*>> m_values;
    QBasicTimer m_timer;
};

}  // namespace velquor
