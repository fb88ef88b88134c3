#include "ui/busy_runner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
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
// the window's close button may abandon the sequence, so both are ignored.
class BusyDialog : public QDialog {
public:
    BusyDialog(QWidget* parent, const QString& text) : QDialog(parent) {
        setObjectName(kBusyObjectName);
        setWindowRole(kBusyObjectName);
        setWindowTitle(QApplication::applicationName());
        setWindowModality(Qt::ApplicationModal);
        setWindowFlag(Qt::WindowCloseButtonHint, false);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(text, this));
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);
        bar->setTextVisible(false);
        layout->addWidget(bar);
    }
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// Shows the indication after the delay, and keeps it hidden while any other
// modal window is up: a message box raised by the sequence must get the keyboard
// and the mouse, and a modal window above it would lock both out.
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
