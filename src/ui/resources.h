#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace velquor {

// Bitmap resources by number, as the drawing code addresses them.
enum BitmapResource : int {
    kBmpArrowPressed = 131,
    kBmpArrow = 132,
    kBmpCheckStrip = 133,
    kBmpSensorWatt = 135,
    kBmpSensorDbm = 136,
    kBmpThermometer = 137,
    kBmpChannelPlain = 139,
    kBmpChannelTicks = 140,
    kBmpPausePressed = 141,
    kBmpPause = 142,
    kBmpPlayPressed = 143,
    kBmpPlay = 144,
    kBmpStopPressed = 145,
    kBmpStop = 146,
    kBmpUsbPressed = 147,
    kBmpUsb = 148,
    kBmpBattery = 149,
    kBmpDiskPressed = 151,
    kBmpDisk = 152,
};

inline constexpr int kAppIconId = 128;

// Resource path of a bitmap (":/res/bitmap_<id>.png"); the file exists only for the ids above.
QString BitmapResourcePath(int id);

// The bitmap as a 32-bit RGB image, or a null image for an unknown id.
QImage LoadBitmapImage(int id);
QPixmap LoadBitmapResource(int id);

// Icon 128 with all its sizes (16 to 256 pixels).
QIcon LoadAppIcon();

}  // namespace velquor
