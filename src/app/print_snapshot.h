#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <optional>

#include "ui/picture.h"

class QPainter;
class QPrinter;

namespace velquor {

class CMainFrame;
class CVelquorView;

// The picture's distance from the top of the drawing area (and from its left when the
// width limits), and what each drawn side loses against the page.
inline constexpr int kPrintInset = 10;
inline constexpr int kPrintShortening = 20;
// Page layout of the PDF that WriteSnapshotFile prints: A4 portrait with these margins.
inline constexpr double kSnapshotPdfMarginMm = 10.0;

// Where the snapshot goes on the page, in device coordinates of the page.
struct PrintPlacement {
    int left = 0;
    int top = kPrintInset;
    int width = 0;
    int height = 0;

    bool operator==(const PrintPlacement&) const = default;
};

// Scales a snapshot of snapshotWidth x snapshotHeight into a page drawing area of
// pageWidth x pageHeight by the smaller factor, then shortens each side by 20: a
// height-limited picture is centred, a width-limited one (also on equal factors) starts
// at x 10. Nothing when either size is empty.
std::optional<PrintPlacement> ComputePrintPlacement(int pageWidth, int pageHeight,
                                                    int snapshotWidth, int snapshotHeight);

// What PrintSnapshotPage put on the page.
struct PrintedPage {
    bool picture = false;  // the snapshot was drawn
    QRect frame;           // the framed rectangle
};

// Prints one page: the snapshot through a BMP file image and CPicture, stretched into
// its placement, then a frame around it in the painter's current pen. drawRect is the
// page's drawing area; only its size counts. A null snapshot gives the frame alone, at
// 10 pixels inside the drawing area.
PrintedPage PrintSnapshotPage(QPainter& painter, const QRect& drawRect, const QImage& snapshot,
                              const PictureMessageSink& sink = MessageBoxPictureSink());

// The drawing area of a printer's page in device pixels, at the painter's origin.
QRect PrinterDrawRect(const QPrinter& printer);

// Prints the page on the printer with a fresh painter and the hairline pen a new
// printer context starts with. False when the printer cannot be started or finished;
// page, when given, tells what went on the page.
// A footer, when given, is one line of text below the frame: what the page shows
// was measured under (PrintFooterText).
bool PrintSnapshotDocument(QPrinter& printer, const QImage& snapshot,
                           const PictureMessageSink& sink = MessageBoxPictureSink(),
                           PrintedPage* page = nullptr, const QString& footer = {});

// "2026-12-08T13:04:05.120Z; meter 12345678; unit dBm; offset ...": when and under
// what the view's snapshot was taken. Printed pages carry it below the frame; PNG and
// JPEG files carry it as text metadata ("Description"), their pixels unchanged.
QString PrintFooterText(const CVelquorView& view);

// Wires the frame's print, print preview, print setup and save-snapshot commands. The
// printer they share lives as long as the frame.
void ConnectPrintCommands(CMainFrame& frame, CVelquorView& view);

// Repaints the view and writes its snapshot, in the format the name's extension says
// (SnapshotFormatOf): the picture as PNG or JPEG, the printed page as PDF, or the
// recorded trace as CSV. Any other name is refused. False with a one-line reason.
bool WriteSnapshotFile(CVelquorView& view, const QString& file, QString& reason);

// A reason as a message box shows it: a sentence, capitalised and ended with a full
// stop ("cannot write x" after "velquor: " on stderr, "Cannot write x." in a box).
QString ReasonAsSentence(const QString& reason);

}  // namespace velquor
