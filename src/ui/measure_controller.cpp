#include "ui/measure_controller.h"

#include <QFile>
#include <QSettings>
#include <cmath>

#include "meter/number_format.h"

namespace velquor {

namespace {

using measure::MeasureSettings;

const NumberField kAverageField{"Averaging count", measure::kMinAverageCount,
                                measure::kMaxAverageCount, true};
const NumberField kOffsetField{"Offset", measure::kMinOffsetDb, measure::kMaxOffsetDb, false, "dB"};
const NumberField kReferenceField{"Reference", measure::kMinPowerDbm, measure::kMaxPowerDbm, false,
                                  "dBm"};
const NumberField kUpperField{"Upper limit", measure::kMinPowerDbm, measure::kMaxPowerDbm, false,
                              "dBm"};
const NumberField kLowerField{"Lower limit", measure::kMinPowerDbm, measure::kMaxPowerDbm, false,
                              "dBm"};
const NumberField kFrequencyField{"Frequency", 0.0, 1e6, false, "MHz"};

constexpr char kGroup[] = "Measure";

}  // namespace

CMeasureController::CMeasureController(QObject* parent) : QObject(parent) {}

CMeasureController::~CMeasureController() = default;

void CMeasureController::OnReading(double powerDbm, std::int64_t steadyNs) {
    m_pipeline.Process(powerDbm, steadyNs);
}

void CMeasureController::OnLinkLost() {
    m_pipeline.RestartAverage();
}

bool CMeasureController::Apply(const MeasureSettings& settings, std::string& error) {
    if (!m_pipeline.Apply(settings, error))
        return false;
    Save();
    emit changed();
    return true;
}

bool CMeasureController::ApplySettings(const MeasureSettings& settings, std::string& error) {
    // The dialog starts from the limits in force.
    if (settings.limits.upper_dbm)
        m_upperValue = *settings.limits.upper_dbm;
    if (settings.limits.lower_dbm)
        m_lowerValue = *settings.limits.lower_dbm;
    return Apply(settings, error);
}

bool CMeasureController::SetAverageCountText(const std::string& text, std::string& error) {
    const auto n = ParseUserNumber(text, kAverageField, error);
    if (!n)
        return false;
    MeasureSettings s = Settings();
    s.average_count = static_cast<int>(*n);
    return Apply(s, error);
}

bool CMeasureController::SetRelative(bool on, std::string& error) {
    if (on) {
        if (!m_pipeline.TakeReference(error))
            return false;
        Save();
        emit changed();
        return true;
    }
    MeasureSettings s = Settings();
    s.relative = false;
    return Apply(s, error);
}

bool CMeasureController::SetReferenceText(const std::string& text, std::string& error) {
    const auto dbm = ParseUserNumber(text, kReferenceField, error);
    if (!dbm)
        return false;
    MeasureSettings s = Settings();
    s.reference_dbm = *dbm;
    s.relative = true;
    return Apply(s, error);
}

void CMeasureController::SetMaxHold(bool on) {
    m_pipeline.SetMaxHold(on);
    Save();
    emit changed();
}

bool CMeasureController::SetOffsetText(const std::string& text, std::string& error) {
    const auto db = ParseUserNumber(text, kOffsetField, error);
    if (!db)
        return false;
    MeasureSettings s = Settings();
    s.offset_db = *db;
    return Apply(s, error);
}

void CMeasureController::SetUnit(measure::PowerUnit unit) {
    m_pipeline.SetUnit(unit);
    Save();
    emit changed();
}

void CMeasureController::ResetStatistics() {
    m_pipeline.ResetStatistics();
    emit changed();
}

bool CMeasureController::SetLimitsText(const LimitsInput& input, std::string& error) {
    measure::UserLimits limits;
    if (input.upperOn) {
        limits.upper_dbm = ParseUserNumber(input.upper, kUpperField, error);
        if (!limits.upper_dbm)
            return false;
    }
    if (input.lowerOn) {
        limits.lower_dbm = ParseUserNumber(input.lower, kLowerField, error);
        if (!limits.lower_dbm)
            return false;
    }
    MeasureSettings s = Settings();
    s.limits = limits;
    if (!m_pipeline.Apply(s, error))
        return false;
    // An unchecked limit's text is kept for the next time when it is a good number.
    std::string ignored;
    const auto upper =
        limits.upper_dbm ? limits.upper_dbm : ParseUserNumber(input.upper, kUpperField, ignored);
    const auto lower =
        limits.lower_dbm ? limits.lower_dbm : ParseUserNumber(input.lower, kLowerField, ignored);
    m_upperValue = upper.value_or(m_upperValue);
    m_lowerValue = lower.value_or(m_lowerValue);
    Save();
    emit changed();
    return true;
}

bool CMeasureController::LoadLossTable(const QString& path, std::string& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "Cannot open " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.read(kMaxLossTableBytes + 1);
    if (bytes.size() > kMaxLossTableBytes) {
        error = path.toStdString() + " is larger than 16 MB; it is not a loss table";
        return false;
    }
    measure::LossTableParse parsed =
        measure::ParseLossTable(std::string_view(bytes.constData(), bytes.size()));
    if (!parsed.table) {
        error = path.toStdString() + ": " + parsed.error;
        return false;
    }
    m_lossTable = std::move(parsed.table);
    m_lossTablePath = path;
    Save();
    emit changed();
    return true;
}

void CMeasureController::ClearLossTable() {
    m_lossTable.reset();
    m_lossTablePath.clear();
    Save();
    emit changed();
}

std::optional<double> CMeasureController::LossForFrequencyText(const std::string& text,
                                                               std::string& error) const {
    if (!m_lossTable) {
        error = "No loss table is loaded";
        return std::nullopt;
    }
    const auto mhz = ParseUserNumber(text, kFrequencyField, error);
    if (!mhz)
        return std::nullopt;
    // The setup writes the whole MHz part of what was typed; the loss is for that.
    const auto tenths = m_lossTable->LossTenthsAt(std::trunc(*mhz), error);
    if (!tenths)
        return std::nullopt;
    return *tenths / 10.0;
}

void CMeasureController::AttachSettings(std::unique_ptr<QSettings> settings, std::string& warning) {
    m_settings.reset();  // nothing is written back while loading
    settings->beginGroup(kGroup);
    MeasureSettings s;
    std::string problems;
    const auto note = [&problems](const std::string& error) {
        problems += problems.empty() ? error : "; " + error;
    };
    const auto number = [&](const char* key, const NumberField& field, double fallback) -> double {
        if (!settings->contains(key))
            return fallback;
        std::string error;
        const auto value =
            ParseUserNumber(settings->value(key).toString().toStdString(), field, error);
        if (!value) {
            note(error);
            return fallback;
        }
        return *value;
    };
    s.average_count = static_cast<int>(number("AverageCount", kAverageField, 1));
    s.offset_db = number("OffsetDb", kOffsetField, 0.0);
    s.reference_dbm = number("ReferenceDbm", kReferenceField, 0.0);
    s.relative = settings->value("Relative", false).toBool();
    s.max_hold = settings->value("MaxHold", false).toBool();
    m_upperValue = number("UpperDbm", kUpperField, 0.0);
    m_lowerValue = number("LowerDbm", kLowerField, 0.0);
    if (settings->value("UpperOn", false).toBool())
        s.limits.upper_dbm = m_upperValue;
    if (settings->value("LowerOn", false).toBool())
        s.limits.lower_dbm = m_lowerValue;
    if (const auto unit =
            measure::ParsePowerUnit(settings->value("Unit", "dBm").toString().toStdString()))
        s.unit = *unit;
    else
        note("unknown power unit \"" + settings->value("Unit").toString().toStdString() + "\"");
    std::string error;
    if (!measure::CheckLimits(s.limits, error)) {
        note(error);
        s.limits = {};
    }
    if (!m_pipeline.Apply(s, error))
        note(error);
    const QString lossPath = settings->value("LossTable").toString();
    settings->endGroup();
    if (!lossPath.isEmpty() && !LoadLossTable(lossPath, error))
        note("loss table not loaded: " + error);
    if (!problems.empty())
        warning = "Measurement settings: " + problems;
    // Kept, not written back: a first run leaves no file behind.
    m_settings = std::move(settings);
    emit changed();
}

void CMeasureController::Save() {
    if (!m_settings)
        return;
    const MeasureSettings& s = Settings();
    m_settings->beginGroup(kGroup);
    m_settings->setValue("AverageCount", s.average_count);
    m_settings->setValue("OffsetDb", QString::fromStdString(FormatC("%.6g", s.offset_db)));
    m_settings->setValue("ReferenceDbm", QString::fromStdString(FormatC("%.6f", s.reference_dbm)));
    m_settings->setValue("Relative", s.relative);
    m_settings->setValue("MaxHold", s.max_hold);
    m_settings->setValue("UpperOn", s.limits.upper_dbm.has_value());
    m_settings->setValue("UpperDbm", QString::fromStdString(FormatC("%.6g", m_upperValue)));
    m_settings->setValue("LowerOn", s.limits.lower_dbm.has_value());
    m_settings->setValue("LowerDbm", QString::fromStdString(FormatC("%.6g", m_lowerValue)));
    m_settings->setValue("Unit", measure::UnitName(s.unit));
    m_settings->setValue("LossTable", m_lossTablePath);
    m_settings->endGroup();
}

}  // namespace velquor
