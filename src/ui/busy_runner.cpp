#include "ui/busy_runner.h"

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
    worker.join();
    busy.close();
}

}  // namespace velquor
