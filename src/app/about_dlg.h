#pragma once

#include <QDialog>

namespace velquor {

inline constexpr const char* kAboutVersionText = "Orvane Virid Irivi RA Version 1.1.0";

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace velquor
