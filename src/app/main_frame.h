#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QToolBar;

namespace velquor {

class CVelquorDoc;
class CVelquorView;

inline constexpr const char* kFrameTitle = "Orvane ViridIrivi RA";
inline constexpr int kFrameWidth = 768;
inline constexpr int kFrameHeight = 532;

// The main window: menus, toolbar, status bar and the view as its client area.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    CMainFrame(CVelquorDoc& document, CVelquorView* view);

    // The caption follows the document title: "<title> - Orvane ViridIrivi RA".
    void UpdateCaption();

    // Gives the whole window, decorations included, the frame's size once the
    // window system has decorated it.
    void FitOuterSize();

    QToolBar* ToolBar() const { return m_toolBar; }

    // File > New Window starts this program again with these arguments.
    using Launcher = std::function<bool(const QStringList& arguments, QString& error)>;
    void SetNewWindowArguments(const QStringList& arguments) { m_newWindowArguments = arguments; }
    // Replaces the start of the program (tests).
    void SetNewWindowLauncher(Launcher launcher) { m_newWindowLauncher = std::move(launcher); }
    static bool StartProgramAgain(const QStringList& arguments, QString& error);
    // This window opened its meter by path (--port): the new window cannot list a
    // meter found that way, so New Window asks which port it opens, suggesting
    // this one's.
    void SetNewWindowPort(const QString& port) { m_strNewWindowPort = port; }
    // Asks for a port: the path, empty to let the new window look for meters, or
    // nothing when the user cancels. Replaceable (tests).
    using PortChooser = std::function<std::optional<QString>(const QString& suggestion)>;
    void SetPortChooser(PortChooser chooser) { m_portChooser = std::move(chooser); }
    static std::optional<QString> AskForPort(QWidget* parent, const QString& suggestion);
    void OnNewWindow();

    // Options > Reconnect Automatically, checkable, before the Help menu; returns
    // its action (the caller keeps the setting).
    QAction* AddReconnectOption(bool checked);

signals:
    void printRequested();
    void printPreviewRequested();
    void printSetupRequested();
    void saveSnapshotRequested();

protected:
    // A connect or setup in progress is abandoned, and the window closes once it
    // has returned.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus(CVelquorView* view);
    void CreateToolBar();
    void CreateStatusBar();
    void OnAbout();

    CVelquorDoc& m_document;
    CVelquorView* m_pView;
    QToolBar* m_toolBar = nullptr;
    // The menu's "Stop Saving", enabled while a log runs; the toolbar's, with its
    // separator, shown while a log runs.
    std::vector<QAction*> m_stopSavingActions;
    std::vector<QAction*> m_toolBarStopSaving;
    QString m_strIdleText = "Ready";
    bool m_bCloseWhenIdle = false;
    QStringList m_newWindowArguments;
    Launcher m_newWindowLauncher;
    QString m_strNewWindowPort;
    PortChooser m_portChooser;
};

}  // namespace velquor
