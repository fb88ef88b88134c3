#include "ui/picture.h"

#include <QApplication>
#include <QByteArrayView>
#include <QImageReader>
#include <QMessageBox>
#include <QPainter>
#include <limits>

namespace velquor {

PictureMessageSink MessageBoxPictureSink() {
    return [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, kPictureErrorCaption, text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
}

CPicture::CPicture(PictureMessageSink sink, QByteArray format)
    : m_sink(std::move(sink)), m_format(std::move(format)) {}

bool CPicture::LoadFromBuffer(const std::uint8_t* buffer, std::size_t size) {
    m_pPicture.reset();
    if (buffer == nullptr && size != 0)
        return false;
    if (size > static_cast<std::size_t>(std::numeric_limits<qsizetype>::max())) {
        if (m_sink)
            m_sink(kPictureNoMemoryText);
        return false;
    }
    if (!QImageReader::supportedImageFormats().contains(m_format.toLower())) {
        if (m_sink)
            m_sink(kPictureNoInterfaceText);
        return false;
    }
    // The decoded picture owns its pixels, so the caller may release the buffer at once.
    QImage image = QImage::fromData(
        QByteArrayView(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size)),
        m_format.constData());
    if (!image.isNull())
        m_pPicture = std::make_unique<QImage>(std::move(image));
    return true;
}

bool CPicture::Draw(QPainter* dc, QRect rect) {
    if (dc == nullptr || !m_pPicture)
        return false;
    if (!dc->isActive()) {
        if (m_sink)
            m_sink(kPictureNoMemoryText);
        return false;
    }
    if (rect.isEmpty())
        return true;
    // Plain pixel replication, as a stretch blit does: a screen picture's one-pixel lines
    // stay sharp instead of blurring into their neighbours.
    dc->save();
    dc->setRenderHint(QPainter::SmoothPixmapTransform, false);
    // A PDF would otherwise store the picture as JPEG, smearing thin lines and text.
    dc->setRenderHint(QPainter::LosslessImageRendering, true);
    dc->drawImage(QRectF(rect), *m_pPicture, QRectF(m_pPicture->rect()));
    dc->restore();
    return true;
}

}  // namespace velquor
