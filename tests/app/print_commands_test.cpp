#include <QAction>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <climits>

#include "canvas_image.h"
#include "fake_dialogs.h"
#include "main_window.h"
#include "window_fixture.h"
#include "print_command.h"

using namespace fernweave;

namespace {

// A printer that records what the print commands ask of it.
class TFakePrinterPort : public TPrinterPort {
public:
    QStringList printers{"Office"};
    std::optional<int> dialogAnswer = 1;  // copies, or nothing for Cancel
    int dpiX = 600, dpiY = 600;
    int pageW = 4800, pageH = 6300;  // Letter less a quarter inch all round, at 600 dpi
    bool beginWorks = true, drawWorks = true, endWorks = true;

    QStringList calls;
    int copies = 0;
    QRect target;
    QImage drawn;
    std::function<void()> onDraw, onEnd;

    QStringList InstalledPrinters() override { return printers; }
    std::optional<int> RunPrintDialog(QWidget*) override {
        calls << "PrintDialog";
        return dialogAnswer;
    }
    void RunPrinterSetupDialog(QWidget*) override { calls << "SetupDialog"; }
    void SetCopies(int n) override {
        calls << "SetCopies";
        copies = n;
    }
    int ResolutionX() override { return dpiX; }
    int ResolutionY() override { return dpiY; }
    int PageWidth() override { return pageW; }
    int PageHeight() override { return pageH; }
    bool BeginDoc() override {
        calls << "Begin";
        return beginWorks;
    }
    bool StretchDraw(const QRect& r, const QImage& picture) override {
        calls << "Draw";
        target = r;
        drawn = picture.copy();
        if (onDraw) onDraw();
        return drawWorks;
    }
    bool EndDoc() override {
        calls << "End";
        if (onEnd) onEnd();
        return endWorks;
    }
    void AbortDoc() override { calls << "Abort"; }
};

}  // namespace

class PrintCommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FractalState> state;
    std::unique_ptr<TFakeDialogs> dialogs;
    std::unique_ptr<TfrmMain> w;
    std::shared_ptr<TFakePrinterPort> port;

    void ExpectOneMessage(const QString& title, const QString& text, TDialogs::Icon icon) {
        QCOMPARE(dialogs->shown.size(), std::size_t{1});
        QCOMPARE(dialogs->shown[0].title, title);
        QCOMPARE(dialogs->shown[0].text, text);
        QCOMPARE(dialogs->shown[0].buttons, TDialogs::Buttons::Ok);
        QCOMPARE(dialogs->shown[0].icon, icon);
    }
    void NewCanvas(int width, int height, TResolution resolution) {
        w->Document().NewPicture(Picture24(width, height, MakeColor(10, 20, 30)), resolution);
        w->CenterCanvas();
    }

private slots:
    void init() {
        state = std::make_unique<FractalState>();
        dialogs = std::make_unique<TFakeDialogs>();
        w = std::make_unique<TfrmMain>(*state, *dialogs);
        port = std::make_shared<TFakePrinterPort>();
        w->Hooks().FPrinterPort = port;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup() { w.reset(); }

    void printWithoutAPrinterSaysSo() {
        port->printers.clear();
        Find(w, "mnuFilePrint")->trigger();
        ExpectOneMessage("Print", "No Printer Exists.", TDialogs::Icon::Warning);
        QVERIFY(port->calls.isEmpty());
    }

    void printSetupWithoutAPrinterSaysSo() {
        port->printers.clear();
        Find(w, "mnuFilePrintSetup")->trigger();
        ExpectOneMessage("Print", "No Printer Exists.", TDialogs::Icon::Warning);
        QVERIFY(port->calls.isEmpty());
    }

    void printSetupRunsTheSetupDialog() {
        Find(w, "mnuFilePrintSetup")->trigger();
        QCOMPARE(port->calls, QStringList{"SetupDialog"});
        QVERIFY(dialogs->shown.empty());
    }

    void theToolbarButtonPrintsToo() {
        port->dialogAnswer = std::nullopt;
        Find(w, "btnPrint")->trigger();
        QCOMPARE(port->calls, QStringList{"PrintDialog"});
    }

    void cancellingThePrintDialogPrintsNothing() {
        port->dialogAnswer = std::nullopt;
        Find(w, "mnuFilePrint")->trigger();
        QCOMPARE(port->calls, QStringList{"PrintDialog"});
        QVERIFY(dialogs->shown.empty());
    }

    void theCopiesReachThePrinterBeforeTheJob() {
        port->dialogAnswer = 3;
        Find(w, "mnuFilePrint")->trigger();
        QCOMPARE(port->copies, 3);
        QCOMPARE(port->calls, (QStringList{"PrintDialog", "SetCopies", "Begin", "Draw", "End"}));
        QVERIFY(dialogs->shown.empty());
    }

    void theStartUpCanvasPrintsAtItsSizeCentred() {
        // 550 x 364 at 72 dpi on 600 dpi: 4583 x 3033 dots, 7.64 x 5.06 inches.
        QCOMPARE(w->Canvas().Width(), 550);
        QCOMPARE(w->Canvas().Height(), 364);
        QCOMPARE(w->Document().Resolution, (TResolution{72, 72}));
        SetPixel24(w->Canvas(), 0, 0, MakeColor(255, 0, 0));
        SetPixel24(w->Canvas(), 549, 363, MakeColor(0, 0, 255));
        Find(w, "mnuFilePrint")->trigger();
        QVERIFY(dialogs->shown.empty());
        QCOMPARE(port->target, QRect((4800 - 4583) / 2, (6300 - 3033) / 2, 4583, 3033));
        QCOMPARE(port->target, QRect(108, 1633, 4583, 3033));
        // The canvas itself, pixel for pixel.
        QCOMPARE(port->drawn.size(), QSize(550, 364));
        QCOMPARE(port->drawn.pixelColor(0, 0), QColor(255, 0, 0));
        QCOMPARE(port->drawn.pixelColor(549, 363), QColor(0, 0, 255));
        QCOMPARE(port->drawn.pixelColor(1, 0), QColor(0, 0, 0));
    }

    void aCanvasLargerThanThePageIsCutOffNotScaled() {
        NewCanvas(1200, 1200, {72, 72});
        Find(w, "mnuFilePrint")->trigger();
        QVERIFY(dialogs->shown.empty());
        QCOMPARE(port->target, QRect(0, 0, 10000, 10000));
    }

    void eachDirectionHasItsPrinterResolution() {
        port->dpiX = 600;
        port->dpiY = 1200;
        port->pageH = 12600;
        NewCanvas(600, 600, {300, 300});
        Find(w, "mnuFilePrint")->trigger();
        QCOMPARE(port->target, QRect((4800 - 1200) / 2, (12600 - 2400) / 2, 1200, 2400));
    }

    void eachDirectionHasItsCanvasResolution() {
        NewCanvas(600, 600, {300, 300});
        Find(w, "mnuFilePrint")->trigger();
        const QRect square = port->target;
        w->Document().Resolution = TResolution{150, 300};
        Find(w, "mnuFilePrint")->trigger();
        const QRect wide = port->target;
        QCOMPARE(square.size(), QSize(1200, 1200));
        QCOMPARE(wide.size(), QSize(2400, 1200));
        QCOMPARE(wide.width() * square.height(), 2 * square.width() * wide.height());
        QVERIFY(dialogs->shown.empty());
    }

    void aZeroResolutionStopsTheCommandAfterTheDialog() {
        for (const TResolution r : {TResolution{0, 72}, TResolution{72, 0}}) {
            dialogs->shown.clear();
            port->calls.clear();
            w->Document().Resolution = r;
            Find(w, "mnuFilePrint")->trigger();
            ExpectOneMessage("Fernweave 2.0", "Floating point division by zero", TDialogs::Icon::Error);
            QVERIFY(port->calls.contains("PrintDialog"));
            QVERIFY(!port->calls.contains("Begin"));
            QVERIFY(!port->calls.contains("Draw"));
        }
        // Cancelled: nothing to say.
        dialogs->shown.clear();
        port->dialogAnswer = std::nullopt;
        Find(w, "mnuFilePrint")->trigger();
        QVERIFY(dialogs->shown.empty());
    }

    void aJobThatCannotBeginIsAPrintingError() {
        port->beginWorks = false;
        Find(w, "mnuFilePrint")->trigger();
        ExpectOneMessage("Print", "Printing Error.", TDialogs::Icon::Warning);
        QVERIFY(!port->calls.contains("Draw"));
    }

    void aJobThatCannotBeDrawnIsAPrintingErrorAndIsDropped() {
        port->drawWorks = false;
        Find(w, "mnuFilePrint")->trigger();
        ExpectOneMessage("Print", "Printing Error.", TDialogs::Icon::Warning);
        QCOMPARE(port->calls, (QStringList{"PrintDialog", "SetCopies", "Begin", "Draw", "Abort"}));
    }

    void aJobThatCannotEndIsAPrintingError() {
        port->endWorks = false;
        Find(w, "mnuFilePrint")->trigger();
        ExpectOneMessage("Print", "Printing Error.", TDialogs::Icon::Warning);
    }

    void aPrintedSizeBeyondTheDevicesReachIsAPrintingError() {
        port->dpiX = port->dpiY = INT_MAX;
        NewCanvas(100, 100, {1, 1});
        Find(w, "mnuFilePrint")->trigger();
        ExpectOneMessage("Print", "Printing Error.", TDialogs::Icon::Warning);
        QVERIFY(!port->calls.contains("Begin"));
    }

    void theWindowKeepsWorkingBeforeTheJobEnds() {
        bool ranBeforeEnd = false, ran = false;
        port->onDraw = [&] { QTimer::singleShot(0, w.get(), [&] { ran = true; }); };
        port->onEnd = [&] { ranBeforeEnd = ran; };
        Find(w, "mnuFilePrint")->trigger();
        QVERIFY(ranBeforeEnd);
    }

    void theCommandsCanRunAgainAfterAFailure() {
        port->beginWorks = false;
        Find(w, "mnuFilePrint")->trigger();
        port->beginWorks = true;
        port->calls.clear();
        Find(w, "mnuFilePrint")->trigger();
        QCOMPARE(port->calls, (QStringList{"PrintDialog", "SetCopies", "Begin", "Draw", "End"}));
    }

    // --- the drawing itself, with a real painter ---

    void aStretchedPictureRepeatsItsPixelsUnblended() {
        QImage picture(2, 2, QImage::Format_BGR888);
        picture.setPixelColor(0, 0, Qt::red);
        picture.setPixelColor(1, 0, Qt::green);
        picture.setPixelColor(0, 1, Qt::blue);
        picture.setPixelColor(1, 1, Qt::white);
        QImage page(20, 20, QImage::Format_RGB32);
        page.fill(Qt::black);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);  // whatever was on before
        StretchDrawPicture(painter, QRect(2, 4, 16, 8), picture);
        painter.end();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                QColor want = Qt::black;
                if (x >= 2 && x < 18 && y >= 4 && y < 12) {
                    const bool right = x >= 10, low = y >= 8;
                    want = low ? (right ? Qt::white : Qt::blue) : (right ? Qt::green : Qt::red);
                }
                QVERIFY2(page.pixelColor(x, y) == QColor(want), qPrintable(QString("at %1,%2").arg(x).arg(y)));
            }
    }

    void theDesktopPortWritesADocument() {
        // The real port on a PDF file: begin, draw, end, and the sizes it reports.
        QTemporaryDir dir;
        TQtPrinterPort real;
        real.Printer().setOutputFormat(QPrinter::PdfFormat);
        real.Printer().setOutputFileName(dir.filePath("page.pdf"));
        real.Printer().setResolution(600);
        real.Printer().setFullPage(true);
        real.Printer().setPageSize(QPageSize(QPageSize::Letter));
        real.SetCopies(2);
        QCOMPARE(real.Printer().copyCount(), 2);
        QCOMPARE(real.ResolutionX(), 600);
        QCOMPARE(real.ResolutionY(), 600);
        QCOMPARE(real.PageWidth(), 5100);
        QCOMPARE(real.PageHeight(), 6600);
        QVERIFY(real.BeginDoc());
        QVERIFY(real.Printer().docName().isEmpty());
        const Picture24 canvas(550, 364, MakeColor(200, 100, 50));
        const QImage image(canvas.Data(), 550, 364, static_cast<qsizetype>(canvas.Stride()), QImage::Format_BGR888);
        QVERIFY(real.StretchDraw(QRect(258, 1783, 4583, 3033), image));
        QVERIFY(real.EndDoc());
        QFile pdf(dir.filePath("page.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        // Again on the same printer: nothing was left open.
        QVERIFY(real.BeginDoc());
        QVERIFY(real.EndDoc());
    }

    void theDesktopPortReportsAJobThatCannotBegin() {
        QTemporaryDir dir;
        TQtPrinterPort real;
        real.Printer().setOutputFormat(QPrinter::PdfFormat);
        real.Printer().setOutputFileName(dir.filePath("no-such-folder/page.pdf"));
        QVERIFY(!real.BeginDoc());
        QVERIFY(!real.EndDoc());
        real.AbortDoc();  // harmless when nothing was begun
    }
};

QTEST_MAIN(PrintCommandsTest)
#include "print_commands_test.moc"
