#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/about_dlg.h"
#include "ui/resources.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {

namespace {

// Command ids of the frame's menu and toolbar items.
enum FrameCommand : int {
    kCmdNew = 57600,
    kCmdPrintSetup = 57606,
    kCmdPrint = 57607,
    kCmdPrintPreview = 57609,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    kCmdViewToolbar = 59392,
    kCmdViewStatusBar = 59393,
    kCmdStopSaving = 32771,
    kCmdReconnect = 32772,
};

QAction* Command(QObject* parent, const char* text, int id) {
    auto* action = new QAction(QString::fromUtf8(text), parent);
    action->setProperty("ctrlId", id);
    return action;
}

}  // namespace

CMainFrame::CMainFrame(CVelquorDoc& document, CVelquorView* view)
    : m_document(document), m_pView(view), m_newWindowLauncher(&CMainFrame::StartProgramAgain) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowIcon(LoadAppIcon());
    resize(kFrameWidth, kFrameHeight);
    CreateToolBar();
    CreateMenus(view);
    CreateStatusBar();
    setCentralWidget(view);
    UpdateCaption();
    if (view != nullptr) {
        // Queued: the sequence's caller is still on the stack when it ends.
        connect(
            view, &CVelquorView::sequenceEnded, this,
            [this] {
                if (m_bCloseWhenIdle)
                    close();
            },
            Qt::QueuedConnection);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_pView != nullptr && m_pView->Busy()) {
        // The sequence still uses the view: it is told to give up its waits, and
        // the window closes as soon as it has returned.
        m_bCloseWhenIdle = true;
        m_pView->AbandonSequence();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::FitOuterSize() {
    const QSize decorations = frameGeometry().size() - geometry().size();
    if (!decorations.isEmpty() || decorations.width() > 0 || decorations.height() > 0)
        resize(QSize(kFrameWidth, kFrameHeight) - decorations);
}

void CMainFrame::UpdateCaption() {
    const QString title = m_document.GetTitle().isEmpty() ? QString("DPW") : m_document.GetTitle();
    setWindowTitle(title + " - " + kFrameTitle);
}

void CMainFrame::CreateMenus(CVelquorView* view) {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* newWindow = Command(this, "&New Window\tCtrl+N", kCmdNew);
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    newWindow->setStatusTip("Open another meter in a new window");
    connect(newWindow, &QAction::triggered, this, &CMainFrame::OnNewWindow);
    file->addAction(newWindow);
    file->addSeparator();
    QAction* print = Command(this, "&Print...\tCtrl+P", kCmdPrint);
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    print->setShortcutContext(Qt::ApplicationShortcut);
    connect(print, &QAction::triggered, this, &CMainFrame::printRequested);
    file->addAction(print);
    QAction* preview = Command(this, "Print Pre&view", kCmdPrintPreview);
    connect(preview, &QAction::triggered, this, &CMainFrame::printPreviewRequested);
    file->addAction(preview);
    QAction* setup = Command(this, "P&rint Setup...", kCmdPrintSetup);
    connect(setup, &QAction::triggered, this, &CMainFrame::printSetupRequested);
    file->addAction(setup);
    file->addSeparator();
    QAction* snapshot = Command(this, "Save Snapshot &As...", 0);
    connect(snapshot, &QAction::triggered, this, &CMainFrame::saveSnapshotRequested);
    file->addAction(snapshot);
    if (view != nullptr) {
        QAction* csv = Command(this, "Save Trace as &CSV...", 0);
        connect(csv, &QAction::triggered, view, &CVelquorView::SaveTraceCsv);
        file->addAction(csv);
        QAction* png = Command(this, "Save Trace as PN&G...", 0);
        connect(png, &QAction::triggered, view, &CVelquorView::SaveTracePng);
        file->addAction(png);
        // Offered only while there is a recorded trace, as in the graph's own menu.
        connect(file, &QMenu::aboutToShow, this, [view, csv, png] {
            const bool any = !view->Trace().RecordedSamples().empty() && !view->Busy();
            csv->setEnabled(any);
            png->setEnabled(any);
        });
    }
    if (view != nullptr) {
        file->addSeparator();
        QAction* stop = Command(this, "S&top Saving", kCmdStopSaving);
        stop->setStatusTip("End the measurement log and open its file");
        stop->setEnabled(false);
        connect(stop, &QAction::triggered, view, &CVelquorView::OnStopSaving);
        file->addAction(stop);
        m_stopSavingActions.push_back(stop);
    }
    file->addSeparator();
    QAction* exit = Command(this, "E&xit", kCmdExit);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    file->addAction(exit);

    QMenu* viewMenu = menuBar()->addMenu("&View");
    // The toolbar's own action, so the item stays in step however the toolbar is hidden.
    QAction* toolbar = m_toolBar->toggleViewAction();
    toolbar->setText("&Toolbar");
    toolbar->setProperty("ctrlId", kCmdViewToolbar);
    viewMenu->addAction(toolbar);
    QAction* status = Command(this, "&Status Bar", kCmdViewStatusBar);
    status->setCheckable(true);
    status->setChecked(true);
    connect(status, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    viewMenu->addAction(status);

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* about = Command(this, "&About Velquor...", kCmdAbout);
    connect(about, &QAction::triggered, this, &CMainFrame::OnAbout);
    help->addAction(about);
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar("Standard");
    m_toolBar->setObjectName("toolbar");
    m_toolBar->setProperty("ctrlId", 0xE800);
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setMovable(true);
    QAction* print = Command(m_toolBar, "Print", kCmdPrint);
    print->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    print->setToolTip("Print the trace graph area");
    print->setStatusTip("Print the trace graph area");
    connect(print, &QAction::triggered, this, &CMainFrame::printRequested);
    m_toolBar->addAction(print);
    QAction* about = Command(m_toolBar, "About", kCmdAbout);
    about->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    about->setToolTip("Display program information and version");
    about->setStatusTip("Display program information and version");
    connect(about, &QAction::triggered, this, &CMainFrame::OnAbout);
    m_toolBar->addAction(about);
    if (m_pView != nullptr) {
        // Shown only while a log runs, so the toolbar looks as it always has otherwise.
        m_toolBarStopSaving.push_back(m_toolBar->addSeparator());
        QAction* stop = Command(m_toolBar, "Stop Saving", kCmdStopSaving);
        stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
        stop->setToolTip("Stop saving measurement data");
        stop->setStatusTip("End the measurement log and open its file");
        connect(stop, &QAction::triggered, m_pView, &CVelquorView::OnStopSaving);
        m_toolBar->addAction(stop);
        m_toolBarStopSaving.push_back(stop);
        for (QAction* action : m_toolBarStopSaving)
            action->setVisible(false);
    }
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setProperty("ctrlId", 0xE801);
    bar->showMessage("Ready");
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(indicator, bar);
        label->setObjectName(indicator);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        // The keyboard's lock states are not portably readable; shown greyed like unset.
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
    // The idle text comes back whenever a hover text ends.
    connect(bar, &QStatusBar::messageChanged, bar, [this, bar](const QString& text) {
        if (text.isEmpty())
            bar->showMessage(m_strIdleText);
    });
    if (m_pView != nullptr) {
        connect(m_pView, &CVelquorView::statusNoteChanged, this, [this, bar](const QString& note) {
            m_strIdleText = note;
            bar->showMessage(note);
            // The whole note, also where the window cuts it.
            bar->setToolTip(note);
        });
        connect(m_pView, &CVelquorView::loggingChanged, this, [this](bool logging) {
            for (QAction* action : m_stopSavingActions)
                action->setEnabled(logging);
            for (QAction* action : m_toolBarStopSaving)
                action->setVisible(logging);
        });
    }
}

QAction* CMainFrame::AddReconnectOption(bool checked) {
    auto* menu = new QMenu("&Options", this);
    QAction* reconnect = Command(menu, "&Reconnect Automatically", kCmdReconnect);
    reconnect->setCheckable(true);
    reconnect->setChecked(checked);
    reconnect->setStatusTip("When the meter is lost, wait for it and carry on");
    menu->addAction(reconnect);
    QAction* help = nullptr;
    for (QAction* action : menuBar()->actions()) {
        if (action->text() == "&Help")
            help = action;
    }
    menuBar()->insertMenu(help, menu);
    if (m_pView != nullptr) {
        connect(reconnect, &QAction::toggled, m_pView, &CVelquorView::SetReconnect);
        m_pView->SetReconnect(checked);
    }
    return reconnect;
}

void CMainFrame::OnNewWindow() {
    // A program of its own per window: each holds its meter and its link worker, and
    // a meter already open here is refused there as busy.
    QStringList arguments = m_newWindowArguments;
    if (!m_strNewWindowPort.isEmpty()) {
        const std::optional<QString> port = m_portChooser ? m_portChooser(m_strNewWindowPort)
                                                          : AskForPort(this, m_strNewWindowPort);
        if (!port)
            return;
        if (!port->trimmed().isEmpty())
            arguments << "--port" << port->trimmed();
    }
    QString error;
    if (m_newWindowLauncher(arguments, error))
        return;
    QMessageBox box(QMessageBox::NoIcon, kFrameTitle, "A new window could not be started: " + error,
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setWindowRole("message");
    box.exec();
}

bool CMainFrame::StartProgramAgain(const QStringList& arguments, QString& error) {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(arguments);
    if (process.startDetached())
        return true;
    error = process.errorString();
    return false;
}

std::optional<QString> CMainFrame::AskForPort(QWidget* parent, const QString& suggestion) {
    // The meters' stable names first, then the ports the kernel's FTDI driver made.
    QStringList ports{suggestion};
    const QDir byId("/dev/serial/by-id");
    for (const QFileInfo& entry : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        ports << entry.absoluteFilePath();
    for (const QFileInfo& entry :
         QDir("/dev").entryInfoList({"ttyUSB*"}, QDir::System | QDir::Files, QDir::Name))
        ports << entry.absoluteFilePath();
    ports.removeDuplicates();
    bool ok = false;
    const QString port =
        QInputDialog::getItem(parent, "New Window",
                              "The meter's port for the new window (a device path;\n"
                              "empty to look for meters):",
                              ports, 0, true, &ok);
    if (!ok)
        return std::nullopt;
    return port;
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

}  // namespace velquor
