#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QPainter;

namespace velquor {

inline constexpr const char* kPictureErrorCaption = "CPicture Error";
inline constexpr const char* kPictureNoMemoryText = "Can not allocate enough memory\t";
inline constexpr const char* kPictureNoInterfaceText = "IPicture interface is not supported\t";

// Where CPicture's error texts go. The default shows a message box with the caption
// "CPicture Error" and a stop icon, owned by the active window.
using PictureMessageSink = std::function<void(const QString& text)>;
PictureMessageSink MessageBoxPictureSink();

// A picture loaded from the image of a picture file in memory and drawn stretched into a
// rectangle.
class CPicture {
public:
    // format: the reader for the file image; the printed snapshot is a BMP file image.
    explicit CPicture(PictureMessageSink sink = MessageBoxPictureSink(), QByteArray format = "BMP");
    virtual ~CPicture() = default;

    // False when the reader for the format is missing (with a message), for a null buffer
    // and for a size beyond what can be addressed. A buffer that is not a picture still
    // gives true and leaves no picture, so Draw draws nothing; a picture held from before
    // is dropped then.
    bool LoadFromBuffer(const std::uint8_t* buffer, std::size_t size);

    // Stretches the whole picture into rect (its aspect ratio is the caller's business).
    // False without a painter or picture; false with a message when painting fails.
    bool Draw(QPainter* dc, QRect rect);

    std::unique_ptr<QImage> m_pPicture;

private:
    PictureMessageSink m_sink;
    QByteArray m_format;
};

}  // namespace velquor
