#pragma once

#include <QSettings>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "remote/instrument.h"
#include "station/meter_session.h"



namespace velquor {

// Measurement settings kept per sensor head, by serial number (by device path for
// a meter whose identity could not be read), so an attenuator's offset follows its
// sensor between sessions and windows. Each record carries a revision: a window
// that saves over a record another window changed since it read it says so.
class CSensorSettings {
public:
    // Null: the program's own settings file.
    explicit CSensorSettings(std::unique_ptr<QSettings> settings = nullptr);
    ~CSensorSettings();

    // The record's name for a meter; empty when the meter has neither.
    static std::string KeyOf(const station::MeterInfo& info);

    // The stored settings, nothing when none are kept (or the key is empty, or the
    // file cannot be read: then Problem() says so).
    std::optional<remote::ChannelSettings> Load(const std::string& key);
    enum class Saved {
        Yes,
        // Another window saved this sensor's settings since this one last loaded or
        // saved them; they are replaced all the same (the latest choice holds) and
        // the user is told.
        ReplacedOther,
        No,  // the file could not be written: Problem() says why
    };
    Saved Save(const std::string& key, const remote::ChannelSettings& settings);
    // What went wrong with the file last, naming it; empty when nothing did.
    std::string Problem() const;

private:
    QString Group(const std::string& key) const;

    std::unique_ptr<QSettings> m_settings;
    // The revision of each record as this window last saw it.
    std::map<std::string, qlonglong> m_seen;
};

}  // namespace velquor
