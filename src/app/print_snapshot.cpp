#include "app/print_snapshot.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <algorithm>

#include "app/app_options.h"
#include "app/main_frame.h"
#include "display/trace_export.h"
#include "meter/prompt.h"
#include "meter/round_half_down.h"
#include "ui/bitmap_to_dib.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {

namespace {

// The snapshot's own depth when a packed DIB can carry it, else the screen's usual 32.
int SnapshotBitCount(const QImage& snapshot) {
    switch (snapshot.depth()) {
        case 1:
        case 8:
        case 16:
        case 24:
        case 32:
            return snapshot.depth();
        default:
            return 32;
    }
}

// A copy of the latest snapshot: the document's image is replaced at every paint, and a
// message box during printing lets the view paint.
QImage CurrentSnapshot(const CVelquorView& view) {
    const CVelquorDoc* doc = view.GetDocument();
    if (doc == nullptr || !doc->m_pSnapshot)
        return {};
    return *doc->m_pSnapshot;
}

void ShowPrintFailure(QWidget* parent) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, "The printer could not be started.",
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// The print, preview and setup commands with the printer they share, so a page setup or
// a chosen printer carries over to the next print. Owned by the frame.
class CPrintCommands : public QObject {
public:
    CPrintCommands(CMainFrame& frame, CVelquorView& view)
        : QObject(&frame), m_frame(frame), m_view(view), m_printer(QPrinter::HighResolution) {}

    void OnFilePrint() {
        if (m_view.Busy())
            return;
        QPrintDialog dialog(&m_printer, &m_frame);
        if (dialog.exec() != QDialog::Accepted)
            return;
        if (!PrintSnapshotDocument(m_printer, CurrentSnapshot(m_view), MessageBoxPictureSink(),
                                   nullptr, PrintFooterText(m_view)))
            ShowPrintFailure(&m_frame);
    }

    void OnFilePrintPreview() {
        if (m_view.Busy())
            return;
        QPrintPreviewDialog preview(&m_printer, &m_frame);
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                         [this](QPrinter* printer) {
                             PrintSnapshotDocument(*printer, CurrentSnapshot(m_view),
                                                   MessageBoxPictureSink(), nullptr,
                                                   PrintFooterText(m_view));
                         });
        preview.exec();
    }

    void OnFilePrintSetup() {
        if (m_view.Busy())
            return;
        QPageSetupDialog dialog(&m_printer, &m_frame);
        dialog.exec();
    }

    void OnSaveSnapshot() {
        QFileDialog dialog(&m_frame, "Save Snapshot As", "snapshot.png",
                           "PNG images (*.png);;JPEG images (*.jpg *.jpeg);;PDF page (*.pdf)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("png");
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        const QString path = dialog.selectedFiles().front();
        QString reason;
        if (!WriteSnapshotFile(m_view, path, reason)) {
            QMessageBox box(QMessageBox::NoIcon, kAppTitle, ReasonAsSentence(reason),
                            QMessageBox::Ok, &m_frame);
            // The reason names the file, which is never markup.
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
    }

private:
    CMainFrame& m_frame;
    CVelquorView& m_view;
    QPrinter m_printer;
};

}  // namespace

std::optional<PrintPlacement> ComputePrintPlacement(int pageWidth, int pageHeight,
                                                    int snapshotWidth, int snapshotHeight) {
    if (pageWidth <= 0 || pageHeight <= 0 || snapshotWidth <= 0 || snapshotHeight <= 0)
        return std::nullopt;
    const double sx = static_cast<double>(pageWidth) / snapshotWidth;
    const double sy = static_cast<double>(pageHeight) / snapshotHeight;
    PrintPlacement p;
    if (sy < sx) {
        p.height = pageHeight - kPrintShortening;
        p.width = TruncateToInt(snapshotWidth * sy - kPrintShortening);
        p.left = (pageWidth - p.width) / 2;
    } else {
        p.width = pageWidth - kPrintShortening;
        p.height = TruncateToInt(snapshotHeight * sx - kPrintShortening);
        p.left = kPrintInset;
    }
    p.top = kPrintInset;
    return p;
}

PrintedPage PrintSnapshotPage(QPainter& painter, const QRect& drawRect, const QImage& snapshot,
                              const PictureMessageSink& sink) {
    PrintedPage page;
    const std::optional<PrintPlacement> placement =
        snapshot.isNull() ? std::nullopt
                          : ComputePrintPlacement(drawRect.width(), drawRect.height(),
                                                  snapshot.width(), snapshot.height());
    if (placement) {
        page.frame = QRect(placement->left, placement->top, placement->width, placement->height);
    } else {
        page.frame = QRect(kPrintInset, kPrintInset, drawRect.width() - kPrintShortening,
                           drawRect.height() - kPrintShortening);
    }

    // Printers here are never palette devices, so the conversion gets no palette.
    if (placement && !page.frame.isEmpty()) {
        const std::vector<std::uint8_t> file =
            MakeBmpFileImage(BitmapToDib({}, snapshot, SnapshotBitCount(snapshot), kBiRgb));
        if (!file.empty()) {
            CPicture picture(sink);
            picture.LoadFromBuffer(file.data(), file.size());
            page.picture = picture.Draw(&painter, page.frame);
        }
    }

    const int left = page.frame.x();
    const int top = page.frame.y();
    const int right = left + page.frame.width();
    const int bottom = top + page.frame.height();
    const QPoint corners[] = {
        {left, top}, {left, bottom}, {right, bottom}, {right, top}, {left, top}};
    painter.drawPolyline(corners, 5);
    return page;
}

QRect PrinterDrawRect(const QPrinter& printer) {
    return QRect(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
}

QString PrintFooterText(const CVelquorView& view) {
    return QString::fromStdString(IsoUtcMsText(QDateTime::currentMSecsSinceEpoch()) + "; " +
                                  TraceConditionsText(view.TraceConditionsNow()));
}

bool PrintSnapshotDocument(QPrinter& printer, const QImage& snapshot,
                           const PictureMessageSink& sink, PrintedPage* page,
                           const QString& footer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // A cosmetic pen of width 0: one device pixel at any resolution, like a new
    // printer context's default pen.
    painter.setPen(QPen(Qt::black, 0));
    const QRect drawRect = PrinterDrawRect(printer);
    const PrintedPage printed = PrintSnapshotPage(painter, drawRect, snapshot, sink);
    if (!footer.isEmpty()) {
        // A line's height below the frame, so it never touches it; cut at the page's edge.
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(8.0);
        painter.setFont(font);
        const int line = QFontMetrics(font, &printer).height();
        const QRect text(printed.frame.left(), printed.frame.bottom() + line,
                         std::max(printed.frame.width(), 1), line * 2);
        painter.drawText(text.intersected(drawRect), Qt::AlignLeft | Qt::TextWordWrap, footer);
    }
    if (page != nullptr)
        *page = printed;
    return painter.end();
}

void ConnectPrintCommands(CMainFrame& frame, CVelquorView& view) {
    auto* commands = new CPrintCommands(frame, view);
    QObject::connect(&frame, &CMainFrame::printRequested, commands,
                     [commands] { commands->OnFilePrint(); });
    QObject::connect(&frame, &CMainFrame::printPreviewRequested, commands,
                     [commands] { commands->OnFilePrintPreview(); });
    QObject::connect(&frame, &CMainFrame::printSetupRequested, commands,
                     [commands] { commands->OnFilePrintSetup(); });
    QObject::connect(&frame, &CMainFrame::saveSnapshotRequested, commands,
                     [commands] { commands->OnSaveSnapshot(); });
}

QString ReasonAsSentence(const QString& reason) {
    QString sentence = reason.trimmed();
    if (sentence.isEmpty())
        return sentence;
    // A leading name ("abc123: no meter ...") is kept as it was typed.
    const qsizetype colon = sentence.indexOf(':');
    const qsizetype space = sentence.indexOf(' ');
    const bool named = colon > 0 && (space < 0 || colon < space);
    if (!named)
        sentence[0] = sentence[0].toUpper();
    if (!sentence.endsWith('.') && !sentence.endsWith('!') && !sentence.endsWith('?'))
        sentence += '.';
    return sentence;
}

bool WriteSnapshotFile(CVelquorView& view, const QString& file, QString& reason) {
    // Runs the paint routine now, also for a window the platform has not exposed.
    view.grab();
    const QImage snapshot = CurrentSnapshot(view);
    if (snapshot.isNull()) {
        reason = "no snapshot to save: the window has not been drawn at a usable size";
        return false;
    }
    const std::optional<SnapshotFormat> format =
        SnapshotFormatOf(QFile::encodeName(file).toStdString());
    if (!format) {
        reason = "cannot tell the format of " + file + ": name it .png, .jpg, .jpeg or .pdf";
        return false;
    }
    if (*format == SnapshotFormat::kCsv) {
        std::string error;
        if (view.Trace().RecordedSamples().empty()) {
            reason = "no trace to save: nothing was recorded (use --trace-period)";
            return false;
        }
        if (!view.WriteTraceCsv(QFile::encodeName(file).toStdString(), error)) {
            reason = QString::fromStdString(error);
            return false;
        }
        return true;
    }
    const QString footer = PrintFooterText(view);
    if (*format != SnapshotFormat::kPdf) {
        // Written to a temporary file and renamed, so a failure leaves no half picture.
        QSaveFile out(file);
        const char* kind = *format == SnapshotFormat::kPng ? "PNG" : "JPEG";
        // The conditions go into the file's text, not its pixels.
        QImage tagged = snapshot;
        tagged.setText(QStringLiteral("Description"), footer);
        tagged.setText(QStringLiteral("Software"), QStringLiteral("velquor"));
        if (!out.open(QIODevice::WriteOnly) || !tagged.save(&out, kind) || !out.commit()) {
            reason = "cannot write " + file +
                     (out.errorString().isEmpty() ? QString() : ": " + out.errorString());
            return false;
        }
        return true;
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kSnapshotPdfMarginMm, kSnapshotPdfMarginMm,
                                                kSnapshotPdfMarginMm, kSnapshotPdfMarginMm),
                                      QPageLayout::Millimeter));
    // Nobody is there to close a message box: the first message becomes the reason.
    QString pictureError;
    const PictureMessageSink sink = [&pictureError](const QString& text) {
        if (pictureError.isEmpty())
            pictureError = text.trimmed();
    };
    printer.setCreator(QStringLiteral("velquor"));
    printer.setDocName(footer);
    PrintedPage page;
    if (!PrintSnapshotDocument(printer, snapshot, sink, &page, footer)) {
        reason = "cannot write " + file;
        return false;
    }
    if (!page.picture) {
        reason = "the snapshot could not be drawn on the page" +
                 (pictureError.isEmpty() ? QString() : ": " + pictureError);
        return false;
    }
    return true;
}

}  // namespace velquor
