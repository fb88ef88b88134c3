#include "logging/shown_power.h"

namespace velquor {

void CShownPower::SetPower(std::optional<double> dbm) {
    std::lock_guard guard(m_lock);
    m_state.power = dbm;
}

void CShownPower::Set(std::optional<double> dbm, const std::string& notes) {
    std::lock_guard guard(m_lock);
    m_state.power = dbm;
    m_state.notes = notes;
}

CShownPower::State CShownPower::Get() const {
    std::lock_guard guard(m_lock);
    return m_state;
}

}  // namespace velquor
