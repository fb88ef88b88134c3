// End to end: the window with a recorded trace printed to a PDF file, the page turned
// back into pixels with pdftoppm, and the frame and the graph looked for where the
// placement puts them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "app/print_snapshot.h"
#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/sim_driver.h"
#include "ui/ctrl_id.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;
using testing_support::SteppingClock;

constexpr int kRenderDpi = 150;
constexpr QRgb kTraceColour = 0xFF0A0AC8;

QString Pdftoppm() {
    return QStandardPaths::findExecutable("pdftoppm");
}

// Page 1 of the PDF as an image; vector antialiasing off so hairlines stay solid.
QImage RenderPdf(const QString& pdf, const QString& prefix) {
    QProcess process;
    process.start(Pdftoppm(), {"-r", QString::number(kRenderDpi), "-aaVector", "no", "-png",
                               "-singlefile", pdf, prefix});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(prefix + ".png").convertToFormat(QImage::Format_RGB32);
}

// Printer device pixels, counted from the painter's origin, on the rendered page.
struct PageMapping {
    QPointF origin;  // the drawing area's corner on the paper, in device pixels
    double scale;    // rendered pixels per device pixel

    QPoint operator()(double x, double y) const {
        return QPoint(static_cast<int>(std::floor((origin.x() + x) * scale)),
                      static_cast<int>(std::floor((origin.y() + y) * scale)));
    }
};

// The drawing area and mapping of the page WriteSnapshotFile prints.
PageMapping SnapshotPdfMapping(QRect& drawRect) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                             QMarginsF(kSnapshotPdfMarginMm, kSnapshotPdfMarginMm,
                                       kSnapshotPdfMarginMm, kSnapshotPdfMarginMm),
                             QPageLayout::Millimeter);
    const QRect paint = layout.paintRectPixels(printer.resolution());
    drawRect = QRect(QPoint(0, 0), paint.size());
    return PageMapping{QPointF(paint.topLeft()),
                       static_cast<double>(kRenderDpi) / printer.resolution()};
}

bool Dark(QRgb c) {
    return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) < 90;
}
bool White(QRgb c) {
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}
bool Close(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}
// Some pixel within radius of p satisfies pred.
template <typename Pred>
bool Near(const QImage& image, QPoint p, int radius, Pred pred) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q = p + QPoint(dx, dy);
            if (image.rect().contains(q) && pred(image.pixel(q)))
                return true;
        }
    return false;
}

// The framed rectangle: ink on each side, white just outside it.
void ExpectFrameOnPage(const QImage& page, const PageMapping& map, const QRect& frame) {
    const double l = frame.x(), t = frame.y();
    const double r = l + frame.width(), b = t + frame.height();
    int checked = 0;
    for (double f = 0.05; f < 1.0; f += 0.1) {
        const double x = l + f * (r - l), y = t + f * (b - t);
        EXPECT_TRUE(Near(page, map(x, t), 1, Dark)) << "top edge at " << f;
        EXPECT_TRUE(Near(page, map(x, b), 1, Dark)) << "bottom edge at " << f;
        EXPECT_TRUE(Near(page, map(l, y), 1, Dark)) << "left edge at " << f;
        EXPECT_TRUE(Near(page, map(r, y), 1, Dark)) << "right edge at " << f;
        EXPECT_TRUE(White(page.pixel(map(x, t) - QPoint(0, 4)))) << "above the frame at " << f;
        EXPECT_TRUE(White(page.pixel(map(x, b) + QPoint(0, 4)))) << "below the frame at " << f;
        EXPECT_TRUE(White(page.pixel(map(l, y) - QPoint(4, 0)))) << "left of the frame at " << f;
        EXPECT_TRUE(White(page.pixel(map(r, y) + QPoint(4, 0)))) << "right of the frame at " << f;
        ++checked;
    }
    EXPECT_EQ(checked, 10);
}

LinkTimings FastTimings() {
    LinkTimings t;
    t.idle_wait_ms = 50;
    t.identity_pause_ms = 1;
    t.reply_wait_ms = 300;
    return t;
}

template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

class PrintPdfTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        MeterModelConfig meter;
        meter.fixedPowerTenths = 250;  // 25.0 dBm: the trace runs across the middle
        meter.frameIntervalMs = 50;
        driver = std::make_unique<CSimDriver>(
            std::vector<SimDeviceConfig>{CSimDriver::DefaultMeter(meter)});
        view = std::make_unique<CVelquorView>(*driver, &doc, nullptr, FastTimings());
        auto p = std::make_unique<ScriptedPrompt>();
        prompt = p.get();
        view->SetPrompt(std::move(p));
        view->SetSequenceClock(std::make_unique<SteppingClock>(600));
        view->SetRunSequencesInline(true);
        view->resize(760, 450);
        view->OnInitialUpdate();
        view->show();
    }
    void TearDown() override {
        view.reset();
        driver.reset();
    }

    // Play with a 60 s period and take samples at 25 dBm.
    void RecordTrace(int samples) {
        ASSERT_TRUE(
            PumpUntil([&] { return std::abs(view->Meter().powerDbm.load() - 25.0) < 0.01; }, 10000))
            << "no reading from the simulated meter";
        auto* period = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), kIdEditPeriod));
        ASSERT_NE(period, nullptr);
        period->setText("60");
        view->OnPlay();
        ASSERT_TRUE(view->TraceTimerActive());
        for (int i = 0; i < samples; ++i)
            view->OnTraceTimer();
        ASSERT_GE(view->Trace().RecordedSamples().size(), static_cast<std::size_t>(samples - 1));
    }

    QTemporaryDir dir;
    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<CVelquorView> view;
    ScriptedPrompt* prompt = nullptr;
};

TEST_F(PrintPdfTest, PrintedPageShowsTheFramedSnapshotWithTheTrace) {
    if (Pdftoppm().isEmpty())
        GTEST_SKIP() << "pdftoppm not found: install poppler-utils to run this test";
    ASSERT_TRUE(view->Meter().alive.load());
    RecordTrace(40);

    const QString pdf = dir.filePath("page.pdf");
    QString reason;
    ASSERT_TRUE(WriteSnapshotFile(*view, pdf, reason)) << reason.toStdString();
    ASSERT_TRUE(doc.m_pSnapshot);
    const QImage snapshot = doc.m_pSnapshot->convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(snapshot.size(), QSize(760 - 225, 450 - 185));

    const QImage page = RenderPdf(pdf, dir.filePath("page"));
    ASSERT_FALSE(page.isNull()) << "pdftoppm could not render " << pdf.toStdString();
    QRect drawRect;
    const PageMapping map = SnapshotPdfMapping(drawRect);
    const auto placement = ComputePrintPlacement(drawRect.width(), drawRect.height(),
                                                 snapshot.width(), snapshot.height());
    ASSERT_TRUE(placement);
    const QRect frame(placement->left, placement->top, placement->width, placement->height);
    ExpectFrameOnPage(page, map, frame);

    // Snapshot pixel (x, y) centre on the page.
    const double sx = static_cast<double>(frame.width()) / snapshot.width();
    const double sy = static_cast<double>(frame.height()) / snapshot.height();
    const auto onPage = [&](int x, int y) {
        return map(frame.x() + (x + 0.5) * sx, frame.y() + (y + 0.5) * sy);
    };

    // Ink: every pixel of the snapshot that is not white (the trace, the grid, the texts,
    // the panel frame) has ink of its colour next to it on the page.
    int inked = 0, found = 0, tracePixels = 0;
    for (int y = 0; y < snapshot.height(); ++y)
        for (int x = 0; x < snapshot.width(); ++x) {
            const QRgb c = snapshot.pixel(x, y);
            if (White(c))
                continue;
            ++inked;
            tracePixels += c == kTraceColour;
            found += Near(page, onPage(x, y), 2, [c](QRgb p) { return Close(p, c, 60); });
        }
    ASSERT_GE(tracePixels, 100) << "the snapshot holds no trace";
    EXPECT_GE(found, inked * 98 / 100) << found << " of " << inked;

    // Paper: wherever the snapshot is white over a 7 x 7 patch, so is the page.
    int patches = 0, blank = 0;
    for (int y = 3; y + 3 < snapshot.height(); y += 5)
        for (int x = 3; x + 3 < snapshot.width(); x += 5) {
            bool uniform = true;
            for (int dy = -3; dy <= 3 && uniform; ++dy)
                for (int dx = -3; dx <= 3 && uniform; ++dx)
                    uniform = White(snapshot.pixel(x + dx, y + dy));
            if (!uniform)
                continue;
            ++patches;
            blank += White(page.pixel(onPage(x, y)));
        }
    EXPECT_GE(patches, 500);
    EXPECT_EQ(blank, patches);
}

TEST_F(PrintPdfTest, PngSnapshotIsTheDocumentsSnapshot) {
    const QString png = dir.filePath("snapshot.png");
    QString reason;
    ASSERT_TRUE(WriteSnapshotFile(*view, png, reason)) << reason.toStdString();
    ASSERT_TRUE(doc.m_pSnapshot);
    const QImage written(png);
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32),
              doc.m_pSnapshot->convertToFormat(QImage::Format_RGB32));
}

TEST_F(PrintPdfTest, TooSmallAWindowGivesAReasonInsteadOfAFile) {
    view->resize(225, 400);
    const QString png = dir.filePath("small.png");
    QString reason;
    EXPECT_FALSE(WriteSnapshotFile(*view, png, reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(QFile::exists(png));
    EXPECT_FALSE(WriteSnapshotFile(*view, dir.filePath("small.pdf"), reason));
    EXPECT_FALSE(QFile::exists(dir.filePath("small.pdf")));
}

TEST_F(PrintPdfTest, UnwritableFilesGiveAReason) {
    for (const char* name : {"missing/dir/x.png", "missing/dir/x.pdf"}) {
        QString reason;
        EXPECT_FALSE(WriteSnapshotFile(*view, dir.filePath(name), reason)) << name;
        EXPECT_TRUE(reason.startsWith("cannot write")) << reason.toStdString();
    }
}

// The unattended mode of the program itself.
class SnapshotModeTest : public ::testing::Test {
protected:
    int Run(const QStringList& args, QString& errors) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(VELQUOR_BINARY, args);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished(5000);
            return -1000;
        }
        errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -999;
    }
    QTemporaryDir dir;
};

TEST_F(SnapshotModeTest, WritesThePrintedPageAndExitsWithZero) {
    if (Pdftoppm().isEmpty())
        GTEST_SKIP() << "pdftoppm not found: install poppler-utils to run this test";
    const QString pdf = dir.filePath("stand.pdf");
    QString errors;
    ASSERT_EQ(Run({"--simulate", "--snapshot", pdf, "--after", "1"}, errors), 0)
        << errors.toStdString();
    const QImage page = RenderPdf(pdf, dir.filePath("stand"));
    ASSERT_FALSE(page.isNull());
    // The window's snapshot is wider than the portrait page's proportions: width-limited,
    // so the frame's top edge runs from x 10 to the drawing area's width - 10.
    QRect drawRect;
    const PageMapping map = SnapshotPdfMapping(drawRect);
    const double right = drawRect.width() - 10;
    for (double f = 0.05; f < 1.0; f += 0.1)
        EXPECT_TRUE(Near(page, map(10 + f * (right - 10), 10), 1, Dark)) << f;
    EXPECT_TRUE(Near(page, map(10, 200), 1, Dark));
    EXPECT_TRUE(Near(page, map(right, 200), 1, Dark));
    EXPECT_TRUE(White(page.pixel(map(right, 200) + QPoint(4, 0))));
}

TEST_F(SnapshotModeTest, WritesAPngSnapshot) {
    const QString png = dir.filePath("stand.png");
    QString errors;
    ASSERT_EQ(Run({"--simulate", "--snapshot", png, "--after", "0.5"}, errors), 0)
        << errors.toStdString();
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 400);
    EXPECT_GT(image.height(), 150);
}

TEST_F(SnapshotModeTest, FailureGivesNonZeroAndOneLineReason) {
    QString errors;
    const QString bad = dir.filePath("no/such/dir/stand.pdf");
    EXPECT_NE(Run({"--simulate", "--snapshot", bad, "--after", "0.2"}, errors), 0);
    const QStringList ours = errors.split('\n').filter(QRegularExpression("^velquor: "));
    ASSERT_EQ(ours.size(), 1) << errors.toStdString();
    EXPECT_TRUE(ours[0].contains("cannot write")) << ours[0].toStdString();
}

}  // namespace
}  // namespace velquor
