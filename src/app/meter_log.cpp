#include "app/meter_log.h"

#include <chrono>
#include <cmath>

#include "logging/log_format.h"
#include "logging/qt_log_ui.h"

namespace velquor {

CMeterLog::CMeterLog(station::Station& station, const remote::Instrument& instrument,
                     std::size_t meter, QWidget* dialogParent, std::unique_ptr<ILogUi> ui)
    : m_station(station),
      m_instrument(instrument),
      m_meter(meter),
      m_feed(station.Subscribe()) {
    const station::MeterState state = station.Status(meter).state;
    const bool connected = state == station::MeterState::Connected;
    m_live.alive = connected;
    m_connected = connected;
    m_shown.Set(std::nullopt, "");
    m_source =
        std::make_unique<CMeterLogSource>(m_live, &m_connected, &m_returning, &m_shown);
    if (!ui)
        ui = std::make_unique<CQtLogUi>(dialogParent);
    m_controller = std::make_unique<CLoggerController>(*m_source, std::move(ui));
    connect(&m_timer, &QTimer::timeout, this, [this] { Follow(); });
    m_timer.start(kFollowMs);
}

CMeterLog::~CMeterLog() {
    m_timer.stop();
    m_connected = false;
    m_controller->NotifyConnectionChanged();
    m_controller->Shutdown();
    m_station.Unsubscribe(m_feed);
}

void CMeterLog::Start(const QString& saveRateText) {
    Follow();
    m_controller->OnSaveMeasurementData(saveRateText, m_station.Meter(m_meter).serial);
}

void CMeterLog::Follow() {
    m_readings.clear();
    m_feed->PopAll(m_readings, std::chrono::milliseconds(0));
    bool changed = false;
    for (const station::Reading& r : m_readings) {
        if (r.meter != m_meter)
            continue;
        switch (r.kind) {
            case station::ReadingKind::Measurement:
                if (std::isfinite(r.power_dbm))
                    m_live.powerDbm = r.power_dbm;
                if (std::isfinite(r.temperature_c))
                    m_live.temperatureC = r.temperature_c;
                break;
            case station::ReadingKind::LinkLost:
                m_live.alive = false;
                m_connected = false;
                changed = true;
                break;
            case station::ReadingKind::Reconnected:
                m_live.alive = true;
                m_connected = true;
                changed = true;
                break;
        }
    }
    m_returning = m_station.Reconnecting().enabled;
    // The row's power is the one the tile shows, under the notes of the settings
    // that made it; both change together.
    const remote::ChannelView view = m_instrument.View(m_meter);
    const std::optional<double> power =
        view.has_reading && !view.lost ? std::optional(view.last.shown_dbm) : std::nullopt;
    if (!m_bNoted || !(view.settings == m_noted)) {
        m_noted = view.settings;
        m_bNoted = true;
        m_shown.Set(power, FormatLogNotes(remote::Instrument::ToMeasure(view.settings)));
    } else {
        m_shown.SetPower(power);
    }
    if (changed)
        m_controller->NotifyConnectionChanged();
}

}  // namespace velquor
