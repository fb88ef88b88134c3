#pragma once

#include <QDialog>
#include <atomic>
#include <functional>

#include "remote/instrument.h"
#include "station/station.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velquor {

class CMeterLog;

// One meter of the station view: its identity, its measurement settings (the same
// ones a script sets over SCPI) and its unit setup, which goes to that meter only.
class CMeterPanelDialog : public QDialog {
    Q_OBJECT

public:
    // on_applied is called with the settings after the instrument took them (the
    // window keeps them for the sensor).
    CMeterPanelDialog(station::Station& station, remote::Instrument& instrument,
                      std::size_t meter, std::function<void(const remote::ChannelSettings&)> on_applied,
                      QWidget* parent = nullptr);

    // Reads the settings back from the instrument (a script may have changed them).
    void Reload();
    // Shows settings changed elsewhere (a script over SCPI) at once, unless the
    // person is typing into the panel: their text is never replaced.
    void Follow();
    // Checks what is typed and hands it to the instrument; false with the reason shown.
    bool ApplyMeasurement();
    // Writes frequency and cable loss to the meter, with the busy indication.
    bool WriteSetup();
    bool Writing() const { return m_writing; }
    // Ends the waits of a setup being written: nobody is there for it any more.
    void Abandon() { m_abandon = true; }
    QString Message() const;

    // While a setup is written, a close gives up its waits and the panel closes
    // once it has returned: the wait runs in this panel's event loop.
    void reject() override;

signals:
    // A setup's write has ended, written or not.
    void writingEnded();

protected:
    void closeEvent(QCloseEvent* e) override;

public:
    // The meter's log, which outlives the panel (the window owns it): the panel
    // starts and stops it and shows how it goes.
    void SetLog(CMeterLog* log);
    // "Save Measurement Data..." with the typed rate, and "Stop Saving".
    void StartLog();
    void StopLog();

private:
    void ShowIdentity();
    void ShowLog();
    void Say(const QString& text, bool error);

    station::Station& m_station;
    remote::Instrument& m_instrument;
    std::size_t m_meter;
    std::atomic<bool> m_abandon{false};
    bool m_writing = false;
    bool m_closeWhenWritten = false;
    std::function<void(const remote::ChannelSettings&)> m_onApplied;
    QLabel* m_identity = nullptr;
    QComboBox* m_unit = nullptr;
    QCheckBox* m_averageOn = nullptr;
    QLineEdit* m_average = nullptr;
    QCheckBox* m_offsetOn = nullptr;
    QLineEdit* m_offset = nullptr;
    QCheckBox* m_relativeOn = nullptr;
    QLineEdit* m_reference = nullptr;
    QCheckBox* m_limitsOn = nullptr;
    QLineEdit* m_upper = nullptr;
    QLineEdit* m_lower = nullptr;
    QLineEdit* m_frequency = nullptr;
    QLineEdit* m_cableLoss = nullptr;
    QLabel* m_message = nullptr;
    CMeterLog* m_log = nullptr;
    QWidget* m_logBox = nullptr;
    QLineEdit* m_saveRate = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QLabel* m_logState = nullptr;
    remote::ChannelSettings m_shown;
    // The meter's setup as last shown.
    int m_shownMhz = 0;
    double m_shownLossDb = 0.0;
    // The person changed a box or the unit since the last Reload.
    bool m_touched = false;
};

// A number as the user typed it, in this locale's or the C notation; nothing when
// the text is not one whole number (no trailing letters, no empty text).
std::optional<double> TypedNumber(const QString& text);

}  // namespace velquor
