#include "display/trace_fonts.h"

#include <QFontDatabase>

namespace velquor {

namespace {

constexpr char kFace[] = "Aerial";

}  // namespace

QFont TraceLabelFont() {
    QFont font(QString::fromLatin1(kFace));
    font.setPixelSize(13);
    return font;
}

QFont TraceTitleFont() {
    QFont font(QString::fromLatin1(kFace));
    font.setPixelSize(20);
    font.setWeight(QFont::Bold);
    return font;
}

QFont TraceAxisTitleFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(16);
    font.setWeight(QFont::Bold);
    return font;
}

}  // namespace velquor
