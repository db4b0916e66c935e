// Prints a known canvas through the program's own Print command on a real
// printer queue, answering the real print dialog (and, when asked, the printer
// setup dialog), then tells where the picture should land on the page.
//
//   cups_print_check --printer NAME --copies N [--setup PAPER landscape|portrait] [--refused]
//
// Prints "expect ..." lines for the checking script; exit code 0 when the
// command ran without a message box. With --refused the queue rejects jobs:
// exit code 0 when the command said "Printing Error." instead.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPageLayout>
#include <QPrinter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "canvas_document.h"
#include "canvas_image.h"
#include "fake_dialogs.h"
#include "main_window.h"
#include "print_command.h"
#include "print_geometry.h"
#include "window_hooks.h"

using namespace fernweave;

namespace {

int Fail(const QString& why) {
    std::fprintf(stderr, "cups_print_check: %s\n", qPrintable(why));
    return 1;
}

// Calls `answer` with the modal dialog named `name` as soon as it shows.
void WhenShown(const QString& name, std::function<void(QDialog*)> answer) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, name, answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != name || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        answer(dialog);
    });
    poll->start(20);
}

bool SelectText(QComboBox* box, const QString& text) {
    if (!box) return false;
    const int i = box->findText(text);
    if (i < 0) return false;
    box->setCurrentIndex(i);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString printer, paper, orientation;
    int copies = 1;
    bool refused = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--printer" && i + 1 < args.size())
            printer = args[++i];
        else if (args[i] == "--copies" && i + 1 < args.size())
            copies = args[++i].toInt();
        else if (args[i] == "--setup" && i + 2 < args.size()) {
            paper = args[++i];
            orientation = args[++i];
        } else if (args[i] == "--refused")
            refused = true;
        else
            return Fail("unknown argument " + args[i]);
    }
    if (printer.isEmpty() || copies < 1) return Fail("usage: --printer NAME --copies N [--setup PAPER ORIENTATION]");

    // Nothing here may wait for ever.
    QTimer::singleShot(90000, [] {
        std::fprintf(stderr, "cups_print_check: a dialog never showed\n");
        std::_Exit(2);
    });

    FractalState state;
    TFakeDialogs dialogs;
    TfrmMain w(state, dialogs);
    w.show();

    // A 550 x 364 canvas at 72 dpi: a gradient with no white in it, so that
    // the marks on the page are exactly the picture.
    Picture24 canvas(550, 364);
    for (int y = 0; y < 364; ++y)
        for (int x = 0; x < 550; ++x) SetPixel24(canvas, x, y, MakeColor(x * 200 / 549, y * 200 / 363, 90));
    w.Document().NewPicture(canvas, TResolution{72, 72});
    w.CenterCanvas();

    bool answered = true;
    QString problem;
    if (!paper.isEmpty()) {
        WhenShown("PrinterSetupDialog1", [&](QDialog* d) {
            const bool ok = SelectText(d->findChild<QComboBox*>("cbPrinter"), printer) &&
                            SelectText(d->findChild<QComboBox*>("cbPaper"), paper);
            auto* radio = d->findChild<QRadioButton*>(orientation == "landscape" ? "rbLandscape" : "rbPortrait");
            if (!ok || !radio) {
                QStringList papers;
                if (auto* box = d->findChild<QComboBox*>("cbPaper"))
                    for (int i = 0; i < box->count(); ++i) papers << box->itemText(i);
                problem = "the setup dialog has no " + printer + " or no " + paper + " among: " + papers.join(", ");
                answered = false;
                d->reject();
                return;
            }
            radio->setChecked(true);
            d->accept();
        });
        w.findChild<QAction*>("mnuFilePrintSetup")->trigger();
        if (!answered) return Fail(problem);
    }

    WhenShown("PrintDialog1", [&](QDialog* d) {
        auto* spin = d->findChild<QSpinBox*>("copies");
        if (!SelectText(d->findChild<QComboBox*>("printers"), printer) || !spin) {
            problem = "the print dialog has no " + printer + " or no copies box";
            answered = false;
            d->reject();
            return;
        }
        // Printer and copies only: no page range, no selection, and the paper
        // stays with Print Setup. All of the dialog shows, its options too.
        for (auto* button : d->findChildren<QAbstractButton*>())
            if (button->text() == "&Options >>") button->click();
        const QStringList hidden = {"Print all", "Pages from", "Pages", "Selection", "Current Page", "P&roperties"};
        for (auto* control : d->findChildren<QAbstractButton*>()) {
            if (hidden.contains(control->text()) && control->isVisibleTo(d)) {
                problem = "the print dialog offers " + control->text();
                answered = false;
                d->reject();
                return;
            }
        }
        if (!d->findChild<QWidget*>("collate") || !d->findChild<QWidget*>("collate")->isVisibleTo(d)) {
            problem = "the print dialog lost its options";
            answered = false;
            d->reject();
            return;
        }
        spin->setValue(copies);
        d->accept();
    });
    w.findChild<QAction*>("mnuFilePrint")->trigger();
    if (!answered) return Fail(problem);
    if (refused) {
        if (dialogs.shown.size() == 1 && dialogs.shown[0].title == "Print" && dialogs.shown[0].text == "Printing Error." &&
            dialogs.shown[0].icon == TDialogs::Icon::Warning)
            return 0;
        return Fail(dialogs.shown.empty() ? QString("the refused job counted as printed")
                                          : "message box: " + dialogs.shown[0].title + ": " + dialogs.shown[0].text);
    }
    for (const auto& shown : dialogs.shown) return Fail("message box: " + shown.title + ": " + shown.text);

    auto* port = dynamic_cast<TQtPrinterPort*>(w.Hooks().FPrinterPort.get());
    if (!port) return Fail("the command did not use the desktop's printer");
    QPrinter& p = port->Printer();
    const auto place = PlacePrintedPicture(550, 364, w.Document().Resolution, port->ResolutionX(), port->ResolutionY(),
                                           port->PageWidth(), port->PageHeight());
    if (!place) return Fail("no placement");
    // Where the picture lies on the page in points, the PDF's way: y upwards.
    const QPageLayout layout = p.pageLayout();
    const QRectF page = layout.fullRectPoints();
    const QRectF paint = layout.paintRectPoints();
    const double x0 = paint.left() + place->Left * 72.0 / port->ResolutionX();
    const double top = paint.top() + place->Top * 72.0 / port->ResolutionY();
    const double wPt = place->Width * 72.0 / port->ResolutionX();
    const double hPt = place->Height * 72.0 / port->ResolutionY();
    std::printf("expect printer %s\n", qPrintable(p.printerName()));
    std::printf("expect copies %d\n", p.copyCount());
    std::printf("expect docname '%s'\n", qPrintable(p.docName()));
    std::printf("expect resolution %d %d\n", port->ResolutionX(), port->ResolutionY());
    std::printf("expect printable %d %d\n", port->PageWidth(), port->PageHeight());
    std::printf("expect dots %d %d %d %d\n", place->Left, place->Top, place->Width, place->Height);
    std::printf("expect page %.2f %.2f\n", page.width(), page.height());
    std::printf("expect image %.3f %.3f %.3f %.3f\n", x0, page.height() - top - hPt, x0 + wPt, page.height() - top);
    std::printf("expect inches %.2f %.2f\n", wPt / 72.0, hPt / 72.0);
    return 0;
}
