#include "ui/busy_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <thread>

namespace velquor {

void RunBusy(QWidget* parent, const QString& text, const std::function<void()>& sequence) {
    std::atomic<bool> done{false};
    QEventLoop loop;
    QProgressDialog busy(text, QString(), 0, 0, parent);
    busy.setWindowModality(Qt::ApplicationModal);
    busy.setCancelButton(nullptr);
    busy.setMinimumDuration(300);
    // Starts the dialog's show timer; without a value it waits its default 4 s.
    busy.setValue(0);
    busy.setAutoClose(false);
    busy.setAutoReset(false);
    // Closing the busy box must not abandon the sequence.
    busy.setWindowFlag(Qt::WindowCloseButtonHint, false);

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
    busy.close();
}

}  // namespace velquor
