#pragma once

#include <QImage>
#include <QString>
#include <memory>

namespace velquor {

// The one document: holds no measurement data, only the view's latest snapshot
// of the measurement and trace area for printing.
class CVelquorDoc {
public:
    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title) { m_strTitle = title; }

    // Null until the first paint; a null image when the client area was too small.
    std::unique_ptr<QImage> m_pSnapshot;

private:
    QString m_strTitle;
};

}  // namespace velquor
