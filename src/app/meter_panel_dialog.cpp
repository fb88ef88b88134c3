#include "app/meter_panel_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/meter_log.h"
#include "meter/unit_sequences.h"
#include "ui/busy_runner.h"

namespace velquor {

namespace {

QString Number(double value) {
    return QString::number(value, 'g', 10);
}

QLineEdit* NumberEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(24);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance("-1000.000") + 12);
    return edit;
}

}  // namespace

std::optional<double> TypedNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale().toDouble(t, &ok);
    if (!ok)
        value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

CMeterPanelDialog::CMeterPanelDialog(station::Station& station, remote::Instrument& instrument,
                                     std::size_t meter,
                                     std::function<void(const remote::ChannelSettings&)> on_applied,
                                     QWidget* parent)
    : QDialog(parent),
      m_station(station),
      m_instrument(instrument),
      m_meter(meter),
      m_onApplied(std::move(on_applied)) {
    setObjectName("meterPanel");
    setWindowTitle(QString::fromStdString(station.MeterName(meter)));
    auto* layout = new QVBoxLayout(this);
    // Two columns, so the panel stays on a small screen with a large font.
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    columns->addLayout(left);
    layout->addLayout(columns);

    auto* unitBox = new QGroupBox("Unit Properties", this);
    auto* unitLayout = new QVBoxLayout(unitBox);
    m_identity = new QLabel(unitBox);
    m_identity->setTextInteractionFlags(Qt::TextSelectableByMouse);
    unitLayout->addWidget(m_identity);
    left->addWidget(unitBox);

    auto* measureBox = new QGroupBox("Measurement", this);
    auto* form = new QFormLayout(measureBox);
    m_unit = new QComboBox(measureBox);
    m_unit->setObjectName("unit");
    for (const auto u : {measure::PowerUnit::Dbm, measure::PowerUnit::Watt,
                         measure::PowerUnit::Dbuv, measure::PowerUnit::Volt})
        m_unit->addItem(measure::UnitName(u), static_cast<int>(u));
    form->addRow("Unit", m_unit);
    auto pair = [&](QCheckBox*& check, const char* label, QLineEdit*& edit, const char* name) {
        auto* row = new QHBoxLayout;
        check = new QCheckBox(label, measureBox);
        check->setToolTip("Turns it on");
        check->setObjectName(QString(name) + "On");
        edit = NumberEdit(measureBox, name);
        row->addWidget(check);
        row->addWidget(edit, 1);
        return row;
    };
    form->addRow("Averaging (readings)", pair(m_averageOn, "on", m_average, "average"));
    form->addRow("Offset (dB)", pair(m_offsetOn, "on", m_offset, "offset"));
    form->addRow("Relative to (dBm)", pair(m_relativeOn, "on", m_reference, "reference"));
    auto* take = new QPushButton("Take Current as Reference", measureBox);
    form->addRow(take);
    form->addRow("Upper limit (dBm)", pair(m_limitsOn, "on", m_upper, "upper"));
    m_lower = NumberEdit(measureBox, "lower");
    form->addRow("Lower limit (dBm)", m_lower);
    auto* apply = new QPushButton("Apply", measureBox);
    apply->setObjectName("apply");
    form->addRow(apply);
    columns->addWidget(measureBox);

    auto* setupBox = new QGroupBox("Unit Setup", this);
    auto* setupForm = new QFormLayout(setupBox);
    m_frequency = NumberEdit(setupBox, "frequency");
    m_cableLoss = NumberEdit(setupBox, "cableLoss");
    setupForm->addRow("Frequency (MHz)", m_frequency);
    setupForm->addRow("Cable loss (dB)", m_cableLoss);
    auto* write = new QPushButton("Write to Meter", setupBox);
    write->setObjectName("writeSetup");
    setupForm->addRow(write);
    left->addWidget(setupBox);

    // The one-meter window's logging, for this meter: its file dialog and format.
    auto* logBox = new QGroupBox("Logging", this);
    auto* logForm = new QFormLayout(logBox);
    m_saveRate = NumberEdit(logBox, "saveRate");
    m_saveRate->setText("1.0");
    logForm->addRow("File Save Rate (s)", m_saveRate);
    auto* logButtons = new QHBoxLayout;
    m_saveButton = new QPushButton("Save Measurement Data...", logBox);
    m_saveButton->setObjectName("saveData");
    m_stopButton = new QPushButton("Stop Saving", logBox);
    m_stopButton->setObjectName("stopSaving");
    logButtons->addWidget(m_saveButton);
    logButtons->addWidget(m_stopButton);
    logForm->addRow(logButtons);
    m_logState = new QLabel(logBox);
    m_logState->setObjectName("logState");
    m_logState->setWordWrap(true);
    logForm->addRow(m_logState);
    m_logBox = logBox;
    logBox->hide();
    left->addWidget(logBox);
    left->addStretch(1);

    m_message = new QLabel(this);
    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    layout->addWidget(buttons);
    // Return in a field must not press Take Current or Write to Meter by accident.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    apply->setDefault(true);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, [this] { ApplyMeasurement(); });
    connect(write, &QPushButton::clicked, this, [this] { WriteSetup(); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { StartLog(); });
    connect(m_stopButton, &QPushButton::clicked, this, [this] { StopLog(); });
    connect(take, &QPushButton::clicked, this, [this] {
        const remote::Outcome o = m_instrument.TakeReference(m_meter);
        if (o.error != 0) {
            Say("No reference taken: " + QString::fromStdString(o.detail), true);
            return;
        }
        Reload();
        if (m_onApplied)
            m_onApplied(m_instrument.Settings(m_meter));
        Say("The current power is the reference now.", false);
    });
    for (QCheckBox* box : {m_averageOn, m_offsetOn, m_relativeOn, m_limitsOn})
        connect(box, &QCheckBox::clicked, this, [this] { m_touched = true; });
    connect(m_unit, &QComboBox::activated, this, [this] { m_touched = true; });
    ShowIdentity();
    Reload();
    const station::MeterInfo info = m_station.Meter(m_meter);
    m_frequency->setText(QString::number(info.frequency_mhz));
    m_cableLoss->setText(QString::number(info.cable_loss_db, 'f', 1));
}

void CMeterPanelDialog::ShowIdentity() {
    const station::MeterInfo i = m_station.Meter(m_meter);
    m_shownMhz = i.frequency_mhz;
    m_shownLossDb = i.cable_loss_db;
    auto or_unknown = [](const std::string& s) {
        return s.empty() ? QString("unknown") : QString::fromStdString(s);
    };
    m_identity->setText(QString("Serial number: %1\nDevice: %2\nCalibration date: %3\n"
                                "Firmware: %4\nFrequency range: %5 MHz\n"
                                "Frequency: %6 MHz   Cable loss: %7 dB")
                            .arg(or_unknown(i.serial), or_unknown(i.path),
                                 or_unknown(i.calibration_date), or_unknown(i.firmware),
                                 or_unknown(i.frequency_range))
                            .arg(i.frequency_mhz)
                            .arg(i.cable_loss_db, 0, 'f', 1));
}

void CMeterPanelDialog::SetLog(CMeterLog* log) {
    m_log = log;
    m_logBox->setVisible(log != nullptr);
    ShowLog();
}

void CMeterPanelDialog::StartLog() {
    if (m_log == nullptr || m_log->Running())
        return;
    m_log->Start(m_saveRate->text());
    ShowLog();
}

void CMeterPanelDialog::StopLog() {
    if (m_log != nullptr)
        m_log->Stop();
    ShowLog();
}

void CMeterPanelDialog::ShowLog() {
    if (m_log == nullptr)
        return;
    const bool running = m_log->Running();
    m_saveButton->setEnabled(!running);
    m_stopButton->setEnabled(running);
    m_saveRate->setEnabled(!running);
    m_logState->setText(running ? QString("Saving to %1: %2 rows")
                                      .arg(QString::fromStdString(m_log->File()))
                                      .arg(m_log->Rows())
                                : QString("Not saving."));
}

void CMeterPanelDialog::Follow() {
    ShowLog();
    const station::MeterInfo info = m_station.Meter(m_meter);
    if (info.frequency_mhz != m_shownMhz || info.cable_loss_db != m_shownLossDb) {
        ShowIdentity();
        if (!m_frequency->isModified() && !m_cableLoss->isModified()) {
            m_frequency->setText(QString::number(info.frequency_mhz));
            m_cableLoss->setText(QString::number(info.cable_loss_db, 'f', 1));
        }
    }
    const remote::ChannelSettings now = m_instrument.Settings(m_meter);
    if (now == m_shown || m_touched)
        return;
    for (const QLineEdit* edit : {m_average, m_offset, m_reference, m_upper, m_lower})
        if (edit->isModified())
            return;
    Reload();
}

void CMeterPanelDialog::Reload() {
    const remote::ChannelSettings s = m_instrument.Settings(m_meter);
    m_shown = s;
    m_unit->setCurrentIndex(m_unit->findData(static_cast<int>(s.unit)));
    m_averageOn->setChecked(s.average_on);
    m_average->setText(QString::number(s.average_count));
    m_offsetOn->setChecked(s.offset_on);
    m_offset->setText(Number(s.offset_db));
    m_relativeOn->setChecked(s.relative_on);
    m_reference->setText(Number(s.reference_dbm));
    m_limitsOn->setChecked(s.limits_on);
    m_upper->setText(Number(s.upper_dbm));
    m_lower->setText(Number(s.lower_dbm));
    m_touched = false;
}

bool CMeterPanelDialog::ApplyMeasurement() {
    remote::ChannelSettings s = m_instrument.Settings(m_meter);
    struct Field {
        QLineEdit* edit;
        const char* name;
        double* target;
    };
    double average = 0;
    const Field fields[] = {{m_average, "averaging count", &average},
                            {m_offset, "offset", &s.offset_db},
                            {m_reference, "reference", &s.reference_dbm},
                            {m_upper, "upper limit", &s.upper_dbm},
                            {m_lower, "lower limit", &s.lower_dbm}};
    for (const Field& f : fields) {
        const auto value = TypedNumber(f.edit->text());
        if (!value) {
            f.edit->setFocus();
            Say(f.edit->text().trimmed().isEmpty()
                    ? QString("The %1 is empty: type a number.").arg(f.name)
                    : QString("The %1 must be a number, not '%2'.").arg(f.name, f.edit->text()),
                true);
            return false;
        }
        *f.target = *value;
    }
    if (average != std::floor(average) || average < 1 || average > 1e9) {
        Say(QString("The averaging count must be a whole number from 1, not '%1'.")
                .arg(m_average->text()),
            true);
        return false;
    }
    s.average_count = static_cast<int>(average);
    s.unit = static_cast<measure::PowerUnit>(m_unit->currentData().toInt());
    s.average_on = m_averageOn->isChecked();
    s.offset_on = m_offsetOn->isChecked();
    s.relative_on = m_relativeOn->isChecked();
    s.limits_on = m_limitsOn->isChecked();
    const remote::Outcome o = m_instrument.Apply(m_meter, s);
    if (o.error != 0) {
        Say("Not applied: " + QString::fromStdString(o.detail), true);
        return false;
    }
    if (m_onApplied)
        m_onApplied(s);
    Reload();
    Say("Applied.", false);
    return true;
}

bool CMeterPanelDialog::WriteSetup() {
    station::SetupRequest request;
    request.frequency = m_frequency->text().trimmed().toStdString();
    request.cable_loss = m_cableLoss->text().trimmed().toStdString();
    // The sequence asks this of a unit not marked for low frequency; the person answers.
    const auto mhz = TypedNumber(m_frequency->text());
    if (mhz && *mhz < 700 && !m_station.Meter(m_meter).low_frequency) {
        request.low_frequency_answer =
            QMessageBox::question(this, kAppTitle, kMsgLowFrequencyQuestion) == QMessageBox::Yes;
    }
    station::SetupOutcome outcome;
    m_abandon = false;
    m_writing = true;
    const station::SequenceFront front{nullptr, nullptr, &m_abandon};
    RunBusy(this, "Writing the setup to the meter...",
            [&] { outcome = m_station.Setup(m_meter, request, front); });
    m_writing = false;
    emit writingEnded();
    if (m_closeWhenWritten) {
        m_closeWhenWritten = false;
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    }
    ShowIdentity();
    if (!outcome.Ok()) {
        Say(QString::fromStdString(outcome.Message().empty() ? "The setup was not written."
                                                             : outcome.Message()),
            true);
        return false;
    }
    m_instrument.Invalidate(m_meter);
    Say(QString::fromStdString(outcome.Message().empty() ? "Written." : outcome.Message()), false);
    return true;
}

void CMeterPanelDialog::reject() {
    if (m_writing) {
        Abandon();
        m_closeWhenWritten = true;
        return;
    }
    QDialog::reject();
}

void CMeterPanelDialog::closeEvent(QCloseEvent* e) {
    if (m_writing) {
        Abandon();
        m_closeWhenWritten = true;
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

QString CMeterPanelDialog::Message() const {
    return m_message->text();
}

void CMeterPanelDialog::Say(const QString& text, bool error) {
    m_message->setStyleSheet(error ? "color: #b00000" : "");
    m_message->setText(text);
}

}  // namespace velquor
