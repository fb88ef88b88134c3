#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "measure/loss_table.h"
#include "measure/measure_pipeline.h"

class QSettings;

namespace velquor {

// The window's measurement math: the pipeline fed with every measurement frame,
// the user's settings (checked as typed, kept in QSettings once attached) and the
// loaded loss table. Every command that is refused says why and changes nothing.
class CMeasureController : public QObject {
    Q_OBJECT

public:
    // The largest loss-table file read; anything larger is refused unread.
    static constexpr qint64 kMaxLossTableBytes = 16 << 20;

    explicit CMeasureController(QObject* parent = nullptr);
    ~CMeasureController() override;

    const measure::MeasurePipeline& Pipeline() const { return m_pipeline; }
    const measure::MeasureSettings& Settings() const { return m_pipeline.Settings(); }

    // A measurement the meter sent, in order, with the monotonic time it was handled.
    void OnReading(double powerDbm, std::int64_t steadyNs);
    // The meter is gone: the next reading starts a new average.
    void OnLinkLost();
    // Readings were missed on the way: an average must not span them.
    void OnReadingsMissed() { OnLinkLost(); }

    bool SetAverageCountText(const std::string& text, std::string& error);
    // On: the current averaged reading becomes the reference.
    bool SetRelative(bool on, std::string& error);
    // A typed reference; turns relative on.
    bool SetReferenceText(const std::string& text, std::string& error);
    void SetMaxHold(bool on);
    bool SetOffsetText(const std::string& text, std::string& error);
    void SetUnit(measure::PowerUnit unit);
    void ResetStatistics();

    // The limits dialog's fields: each limit is used only when its box is checked,
    // and its text is checked only then; an unchecked limit's text is remembered
    // when it is a good number, else its last value is.
    struct LimitsInput {
        bool upperOn = false;
        std::string upper;
        bool lowerOn = false;
        std::string lower;
    };
    bool SetLimitsText(const LimitsInput& input, std::string& error);
    // The values the dialog starts with (the last ones set, also while off).
    double UpperLimitValue() const { return m_upperValue; }
    double LowerLimitValue() const { return m_lowerValue; }

    // All settings at once (the command line's, for one run); refused whole or applied.
    bool ApplySettings(const measure::MeasureSettings& settings, std::string& error);

    bool LoadLossTable(const QString& path, std::string& error);
    void ClearLossTable();
    const std::optional<measure::LossTable>& LossTable() const { return m_lossTable; }
    const QString& LossTablePath() const { return m_lossTablePath; }
    // The loss the table gives at the frequency typed in the setup panel, rounded
    // to the 0.1 dB the meter stores.
    std::optional<double> LossForFrequencyText(const std::string& text, std::string& error) const;

    // Loads the settings kept there (a value that does not pass its check is left
    // at its default and named in warning) and keeps every later change there.
    void AttachSettings(std::unique_ptr<QSettings> settings, std::string& warning);

signals:
    // Any setting, the reference or the loss table changed.
    void changed();

private:
    bool Apply(const measure::MeasureSettings& settings, std::string& error);
    void Save();

    measure::MeasurePipeline m_pipeline;
    double m_upperValue = 0.0;
    double m_lowerValue = 0.0;
    std::optional<measure::LossTable> m_lossTable;
    QString m_lossTablePath;
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace velquor
