#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace velquor {

// The power a window shows after its measurement math, and the notes naming what
// that math applied, handed from the GUI thread to the logger's thread so that the
// log holds what the screen shows. Power and notes change and are read together,
// so no row is written under the notes of another setting.
class CShownPower {
public:
    struct State {
        std::optional<double> power;  // nothing while the measurement has no result
        std::string notes;
    };

    // At each reading.
    void SetPower(std::optional<double> dbm);
    // At each change of the settings.
    void Set(std::optional<double> dbm, const std::string& notes);
    State Get() const;

private:
    mutable std::mutex m_lock;
    State m_state;
};

}  // namespace velquor
