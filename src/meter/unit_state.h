#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace velquor {

// How a serial number that could not be read is shown and logged.
inline constexpr char kUnknownSerialNumber[] = "unknown";
inline std::string SerialNumberText(const std::string& serial) {
    return serial.empty() ? std::string(kUnknownSerialNumber) : serial;
}

// The connected unit's identity and setup as the main view keeps them. The
// connect and setup sequences write it; the panels draw it; the logger reads
// m_bConnected from its own thread.
struct UnitState {
    std::atomic<bool> m_bConnected{false};
    std::string m_strSerialNumber;  // empty while unknown (no identity read)
    std::string m_strManufacturer;
    std::string m_strCalDate = "AUG-18-2007";
    std::string m_strFreqRange = "700 - 2700";
    std::string m_strResolution = "0.1";
    std::string m_strFirmware = "0.00";
    bool m_bLowFrequency = false;
    std::uint8_t m_byCalDate0 = 0;
    std::uint8_t m_byCalDate1 = 0;
    std::uint8_t m_byFirmware = 0;
    bool m_bShowDbm = false;
    bool m_bShowWatt = false;
    std::string m_strFrequency = "1700";
    std::string m_strCableLoss = "0";
    std::string m_strSaveRate = "1.0";
    double m_dCableLoss = 0.0;
    int m_nFrequency = 0;
};

// Copies every field; the connected flag is copied as its current value.
inline void CopyUnitState(const UnitState& from, UnitState& to) {
    to.m_bConnected = from.m_bConnected.load();
    to.m_strSerialNumber = from.m_strSerialNumber;
    to.m_strManufacturer = from.m_strManufacturer;
    to.m_strCalDate = from.m_strCalDate;
    to.m_strFreqRange = from.m_strFreqRange;
    to.m_strResolution = from.m_strResolution;
    to.m_strFirmware = from.m_strFirmware;
    to.m_bLowFrequency = from.m_bLowFrequency;
    to.m_byCalDate0 = from.m_byCalDate0;
    to.m_byCalDate1 = from.m_byCalDate1;
    to.m_byFirmware = from.m_byFirmware;
    to.m_bShowDbm = from.m_bShowDbm;
    to.m_bShowWatt = from.m_bShowWatt;
    to.m_strFrequency = from.m_strFrequency;
    to.m_strCableLoss = from.m_strCableLoss;
    to.m_strSaveRate = from.m_strSaveRate;
    to.m_dCableLoss = from.m_dCableLoss;
    to.m_nFrequency = from.m_nFrequency;
}

// The setup controls the sequences read and write: the frequency and cable-loss
// edits and the two display check buttons.
class IUnitControls {
public:
    virtual ~IUnitControls() = default;
    virtual std::string CableLossText() const = 0;
    virtual void SetCableLossText(const std::string& text) = 0;
    virtual std::string FrequencyText() const = 0;
    virtual void SetFrequencyText(const std::string& text) = 0;
    virtual bool ShowDbmChecked() const = 0;
    virtual void SetShowDbmChecked(bool on) = 0;
    virtual bool ShowWattChecked() const = 0;
    virtual void SetShowWattChecked(bool on) = 0;
};

// Controls without widgets, for the command-line tool and the tests.
struct PlainUnitControls : IUnitControls {
    std::string cableLoss;
    std::string frequency;
    bool showDbm = false;
    bool showWatt = false;

    std::string CableLossText() const override { return cableLoss; }
    void SetCableLossText(const std::string& text) override { cableLoss = text; }
    std::string FrequencyText() const override { return frequency; }
    void SetFrequencyText(const std::string& text) override { frequency = text; }
    bool ShowDbmChecked() const override { return showDbm; }
    void SetShowDbmChecked(bool on) override { showDbm = on; }
    bool ShowWattChecked() const override { return showWatt; }
    void SetShowWattChecked(bool on) override { showWatt = on; }
};

}  // namespace velquor
