#include "ui/resources.h"

#include <QFile>
#include <mutex>

// The resources live in a static library; registering them explicitly keeps the linker from
// dropping them and must happen outside any namespace.
static void RegisterVelquorResources() {
    Q_INIT_RESOURCE(velquor);
}

namespace velquor {
namespace {

void EnsureResources() {
    static std::once_flag once;
    std::call_once(once, RegisterVelquorResources);
}

}  // namespace

QString BitmapResourcePath(int id) {
    return QStringLiteral(":/res/bitmap_%1.png").arg(id);
}

QImage LoadBitmapImage(int id) {
    EnsureResources();
    const QString path = BitmapResourcePath(id);
    if (!QFile::exists(path))
        return {};
    QImage image(path);
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

QPixmap LoadBitmapResource(int id) {
    const QImage image = LoadBitmapImage(id);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QIcon LoadAppIcon() {
    EnsureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/res/icon_%1_%2.png").arg(kAppIconId).arg(size),
                     QSize(size, size));
    return icon;
}

}  // namespace velquor
