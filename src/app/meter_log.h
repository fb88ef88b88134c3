#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <vector>

#include "logging/logger_controller.h"
#include "logging/meter_log_source.h"
#include "logging/shown_power.h"
#include "remote/instrument.h"
#include "station/station.h"

class QWidget;

namespace velquor {

// The log of one meter of the station view: the one-meter window's "Save Measurement
// Data" (its dialog, file format and save rate) for that meter. Rows hold the power
// its tile shows (offset and averaging applied, as a script reads it) and name the
// settings in force. Follows the meter's readings on a subscription of its own, so it
// runs on whether or not the meter's panel is open; a lost meter ends it unless the
// station waits for the meter to come back.
class CMeterLog : public QObject {
public:
    static constexpr int kFollowMs = 50;

    CMeterLog(station::Station& station, const remote::Instrument& instrument, std::size_t meter,
              QWidget* dialogParent, std::unique_ptr<ILogUi> ui = nullptr);
    ~CMeterLog() override;

    // Asks for the file and starts; the rate as typed ("1.0" to "3600").
    void Start(const QString& saveRateText);
    void Stop() { m_controller->StopSaving(); }
    bool Running() const { return m_controller->Running(); }
    int Rows() const { return m_controller->Rows(); }
    const std::string& File() const { return m_controller->LogFile(); }
    // Takes what the subscription holds now (the timer does this every kFollowMs).
    void Follow();

private:
    station::Station& m_station;
    const remote::Instrument& m_instrument;
    const std::size_t m_meter;
    std::shared_ptr<station::Subscription> m_feed;
    std::vector<station::Reading> m_readings;
    LiveReading m_live;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_returning{false};
    CShownPower m_shown;
    remote::ChannelSettings m_noted;
    bool m_bNoted = false;
    std::unique_ptr<CMeterLogSource> m_source;
    QTimer m_timer;
    // Last: its logger thread reads the members above.
    std::unique_ptr<CLoggerController> m_controller;
};

}  // namespace velquor
