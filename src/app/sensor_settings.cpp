#include "app/sensor_settings.h"

#include <QSettings>
#include <QUrl>

namespace velquor {

namespace {

const char* UnitKey(measure::PowerUnit unit) {
    return measure::UnitName(unit);
}

}  // namespace

CSensorSettings::CSensorSettings(std::unique_ptr<QSettings> settings)
    : m_settings(settings ? std::move(settings) : std::make_unique<QSettings>("velquor", "velquor")) {}

CSensorSettings::~CSensorSettings() = default;

std::string CSensorSettings::KeyOf(const station::MeterInfo& info) {
    // A simulated meter's serial must not share a real sensor head's record.
    if (info.target.kind == station::MeterTarget::Kind::Simulated)
        return info.serial.empty() ? std::string() : "simulated " + info.serial;
    if (info.identity_read && !info.serial.empty())
        return info.serial;
    if (!info.path.empty())
        return "path " + info.path;
    return {};
}

QString CSensorSettings::Group(const std::string& key) const {
    // A path's slashes would nest groups; the record's name stays one level.
    return "sensors/" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(key)));
}

std::optional<remote::ChannelSettings> CSensorSettings::Load(const std::string& key) {
    if (key.empty())
        return std::nullopt;
    m_settings->sync();
    m_settings->beginGroup(Group(key));
    const bool kept = m_settings->contains("revision");
    remote::ChannelSettings s;
    if (kept) {
        m_seen[key] = m_settings->value("revision").toLongLong();
        const std::string unit = m_settings->value("unit", "dBm").toString().toStdString();
        s.unit = measure::ParsePowerUnit(unit).value_or(measure::PowerUnit::Dbm);
        s.average_count = m_settings->value("averageCount", 1).toInt();
        s.average_on = m_settings->value("averageOn", false).toBool();
        s.offset_db = m_settings->value("offsetDb", 0.0).toDouble();
        s.offset_on = m_settings->value("offsetOn", false).toBool();
        s.relative_on = m_settings->value("relativeOn", false).toBool();
        s.reference_dbm = m_settings->value("referenceDbm", 0.0).toDouble();
        s.upper_dbm = m_settings->value("upperDbm", 90.0).toDouble();
        s.lower_dbm = m_settings->value("lowerDbm", -90.0).toDouble();
        s.limits_on = m_settings->value("limitsOn", false).toBool();
    }
    m_settings->endGroup();
    if (!kept)
        return std::nullopt;
    return s;
}

std::string CSensorSettings::Problem() const {
    switch (m_settings->status()) {
        case QSettings::NoError:
            return {};
        case QSettings::AccessError:
            return "cannot write " + m_settings->fileName().toStdString();
        case QSettings::FormatError:
            return m_settings->fileName().toStdString() + " is not a settings file";
    }
    return {};
}

CSensorSettings::Saved CSensorSettings::Save(const std::string& key,
                                             const remote::ChannelSettings& s) {
    if (key.empty())
        return Saved::Yes;
    m_settings->sync();
    m_settings->beginGroup(Group(key));
    const qlonglong onDisk = m_settings->value("revision", 0).toLongLong();
    const auto seen = m_seen.find(key);
    const bool ours = onDisk == 0 || (seen != m_seen.end() && seen->second == onDisk);
    m_settings->setValue("revision", onDisk + 1);
    m_settings->setValue("unit", UnitKey(s.unit));
    m_settings->setValue("averageCount", s.average_count);
    m_settings->setValue("averageOn", s.average_on);
    m_settings->setValue("offsetDb", s.offset_db);
    m_settings->setValue("offsetOn", s.offset_on);
    m_settings->setValue("relativeOn", s.relative_on);
    m_settings->setValue("referenceDbm", s.reference_dbm);
    m_settings->setValue("upperDbm", s.upper_dbm);
    m_settings->setValue("lowerDbm", s.lower_dbm);
    m_settings->setValue("limitsOn", s.limits_on);
    m_settings->endGroup();
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        return Saved::No;
    m_seen[key] = onDisk + 1;
    return ours ? Saved::Yes : Saved::ReplacedOther;
}

}  // namespace velquor
