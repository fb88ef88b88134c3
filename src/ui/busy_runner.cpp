#include "ui/busy_runner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <thread>
#include <vector>

namespace velquor {

namespace {

// The indication itself: a text and an endless progress bar. Neither Escape nor
// its own close button may abandon the sequence, so both are ignored.
//
// It is not modal in Qt's sense: Qt drops the window system's close request for a
// window a modal one blocks, and the main window's close must reach the program
// (it abandons the sequence). The guard below keeps the input away instead.
class BusyDialog : public QDialog {
public:
    BusyDialog(QWidget* parent, const QString& text) : QDialog(parent) {
        setObjectName(kBusyObjectName);
        setWindowRole(kBusyObjectName);
        setWindowTitle(QApplication::applicationName());
        setWindowFlag(Qt::WindowCloseButtonHint, false);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(text, this));
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);
        bar->setTextVisible(false);
        layout->addWidget(bar);
        // Wide enough for the whole title in the title bar, with room for the
        // window menu and buttons the window manager puts beside it.
        QFont title = font();
        title.setBold(true);
        setMinimumWidth(QFontMetrics(title).horizontalAdvance(windowTitle()) +
                        kBusyTitleAllowancePx);
    }
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// Shows the indication after the delay, and keeps it hidden while any other
// modal window is up: a message box raised by the sequence must get the keyboard
// and the mouse, and a modal window above it would lock both out. Meanwhile the
// user's input reaches only the indication and such modal windows, so no other
// command starts; the window system's close requests still get through.
class BusyGuard : public QObject {
public:
    BusyGuard(BusyDialog& dialog, int delayMs) : m_dialog(dialog) {
        m_delay.setSingleShot(true);
        m_delay.setInterval(delayMs);
        connect(&m_delay, &QTimer::timeout, this, [this] { ShowIfFree(); });
        m_delay.start();
        qApp->installEventFilter(this);
    }
    ~BusyGuard() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (IsUserInput(event->type()))
            return !MayTakeInput(watched);
        switch (event->type()) {
            case QEvent::Show:
                if (IsOtherModal(watched)) {
                    m_others.emplace_back(static_cast<QWidget*>(watched));
                    m_delay.stop();
                    m_dialog.hide();
                }
                break;
            case QEvent::Hide:
            case QEvent::Destroy:
                Forget(watched);
                break;
            default:
                break;
        }
        return false;
    }

private:
    static bool IsUserInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TabletPress:
                return true;
            default:
                return false;
        }
    }

    // Widgets of the indication and of modal windows take input; a window (the
    // platform's object ahead of its widgets) passes it on to be judged there.
    bool MayTakeInput(QObject* watched) const {
        if (watched->isWindowType())
            return true;
        if (!watched->isWidgetType())
            return false;  // an action's shortcut
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        // A popup (a list opened in a question's dialog) belongs to the modal
        // window that opened it; the others' menus cannot open meanwhile.
        return window == &m_dialog || window->windowModality() != Qt::NonModal ||
               window->windowType() == Qt::Popup;
    }

    bool IsOtherModal(QObject* watched) const {
        if (!watched->isWidgetType() || watched == &m_dialog)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        return widget->isWindow() && widget->windowModality() != Qt::NonModal;
    }

    void Forget(QObject* watched) {
        const auto before = m_others.size();
        std::erase_if(m_others, [watched](const QPointer<QWidget>& w) {
            return w.isNull() || w.data() == watched;
        });
        if (before != 0 && m_others.empty())
            m_delay.start();
    }

    void ShowIfFree() {
        std::erase_if(m_others, [](const QPointer<QWidget>& w) { return w.isNull(); });
        if (m_others.empty())
            m_dialog.show();
    }

    BusyDialog& m_dialog;
    QTimer m_delay;
    std::vector<QPointer<QWidget>> m_others;
};

}  // namespace

void RunBusy(QWidget* parent, const QString& text, const std::function<void()>& sequence,
             int showDelayMs) {
    std::atomic<bool> done{false};
    QEventLoop loop;
    BusyDialog busy(parent, text);
    BusyGuard guard(busy, showDelayMs);

    std::thread worker([&] {
        sequence();
        done = true;
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // The quit may be posted before exec starts; a timer re-checks the flag.
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    check.start(50);
    if (!done)
        loop.exec();
    // An application quit ends the loop early, but the sequence may still wait
    // for the GUI thread (a message, a control); keep serving it until it ends.
    // Every step of a sequence is bounded, so this ends too.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    worker.join();
    busy.hide();
}

}  // namespace velquor
