#include "print_command.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include <cups/cups.h>

#include "dialog_buttons.h"
#include "print_geometry.h"

namespace fernweave {

namespace {

// Printer and copies: Qt's print dialog without its page range box, which it
// shows for CUPS's own page selection whatever the options say; the job is
// one page.
class TPrintDialog : public QPrintDialog {
public:
    using QPrintDialog::QPrintDialog;
    void setVisible(bool visible) override {
        QPrintDialog::setVisible(visible);
        if (!visible) return;
        if (auto* range = findChild<QWidget*>("gbPrintRange")) range->hide();
    }
};

// Printer, paper and orientation; what is chosen goes to the printer on OK.
class TPrinterSetupDialog : public QDialog {
public:
    TPrinterSetupDialog(QPrinter& printer, QWidget* owner) : QDialog(owner), printer_(printer) {
        setWindowTitle("Print Setup");
        setObjectName("PrinterSetupDialog1");

        auto* printerBox = new QGroupBox("Printer", this);
        cbPrinter = Named<QComboBox>("cbPrinter", printerBox);
        auto* printerForm = new QFormLayout(printerBox);
        printerForm->addRow("&Name:", cbPrinter);

        auto* paperBox = new QGroupBox("Paper", this);
        cbPaper = Named<QComboBox>("cbPaper", paperBox);
        auto* paperForm = new QFormLayout(paperBox);
        paperForm->addRow("Si&ze:", cbPaper);

        auto* orientationBox = new QGroupBox("Orientation", this);
        rbPortrait = Named<QRadioButton>("rbPortrait", "P&ortrait", orientationBox);
        rbLandscape = Named<QRadioButton>("rbLandscape", "L&andscape", orientationBox);
        auto* orientationRow = new QVBoxLayout(orientationBox);
        orientationRow->addWidget(rbPortrait);
        orientationRow->addWidget(rbLandscape);

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* lower = new QHBoxLayout;
        lower->addWidget(paperBox, 1);
        lower->addWidget(orientationBox);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(printerBox);
        layout->addLayout(lower);
        layout->addWidget(buttons);

        printers_ = QPrinterInfo::availablePrinters();
        QString current = printer.printerName();
        if (current.isEmpty()) current = QPrinterInfo::defaultPrinterName();
        for (const QPrinterInfo& info : printers_) cbPrinter->addItem(info.printerName());
        cbPrinter->setCurrentIndex(std::max(0, cbPrinter->findText(current)));
        FillPaper(printer.pageLayout().pageSize());
        connect(cbPrinter, &QComboBox::currentIndexChanged, this, [this] { FillPaper(QPageSize()); });
        (printer.pageLayout().orientation() == QPageLayout::Landscape ? rbLandscape : rbPortrait)->setChecked(true);
    }

    // Gives the printer what the dialog shows.
    void Apply() {
        const QString name = cbPrinter->currentText();
        if (!name.isEmpty() && name != printer_.printerName()) printer_.setPrinterName(name);
        const int paper = cbPaper->currentIndex();
        if (paper >= 0 && paper < sizes_.size()) printer_.setPageSize(sizes_[paper]);
        printer_.setPageOrientation(rbLandscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    }

    QComboBox* cbPrinter;
    QComboBox* cbPaper;
    QRadioButton* rbPortrait;
    QRadioButton* rbLandscape;

private:
    // The sizes of the chosen printer, on `wanted` when it has it, else on its default.
    void FillPaper(const QPageSize& wanted) {
        cbPaper->clear();
        sizes_.clear();
        const int index = cbPrinter->currentIndex();
        if (index < 0 || index >= printers_.size()) return;
        const QPrinterInfo& info = printers_[index];
        sizes_ = info.supportedPageSizes();
        int chosen = -1;
        for (int i = 0; i < sizes_.size(); ++i) {
            cbPaper->addItem(sizes_[i].name());
            if (chosen < 0 && wanted.isValid() && sizes_[i].isEquivalentTo(wanted)) chosen = i;
        }
        for (int i = 0; chosen < 0 && i < sizes_.size(); ++i)
            if (sizes_[i].isEquivalentTo(info.defaultPageSize())) chosen = i;
        cbPaper->setCurrentIndex(std::max(0, chosen));
    }

    QPrinter& printer_;
    QList<QPrinterInfo> printers_;
    QList<QPageSize> sizes_;
};

// Qt hands a finished job to CUPS in QPainter::end() and drops CUPS's answer;
// the answer stays behind as CUPS's last error of this thread. A job printed
// to a file never reaches CUPS.
bool QueueTookTheJob(const QPrinter& printer) {
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.outputFileName().isEmpty()) return true;
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

}  // namespace

TQtPrinterPort::TQtPrinterPort() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

TQtPrinterPort::~TQtPrinterPort() { AbortDoc(); }

QStringList TQtPrinterPort::InstalledPrinters() { return QPrinterInfo::availablePrinterNames(); }

std::optional<int> TQtPrinterPort::RunPrintDialog(QWidget* owner) {
    TPrintDialog dialog(printer_.get(), owner);
    dialog.setObjectName("PrintDialog1");
    // Printer and copies; no page range, no selection. No Properties button
    // either: paper and orientation belong to Print Setup, and Qt's page
    // properties would put the printer's default paper back in their place.
    dialog.setOptions(QAbstractPrintDialog::PrintCollateCopies);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    if (setUp_ && printer_->printerName() == setUp_->Printer) {
        printer_->setPageSize(setUp_->Paper);
        printer_->setPageOrientation(setUp_->Orientation);
    }
    return printer_->copyCount();
}

void TQtPrinterPort::RunPrinterSetupDialog(QWidget* owner) {
    TPrinterSetupDialog dialog(*printer_, owner);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.Apply();
    const QPageLayout layout = printer_->pageLayout();
    setUp_ = TSetUp{printer_->printerName(), layout.pageSize(), layout.orientation()};
}

bool TQtPrinterPort::BeginDoc() {
    printer_->setDocName(QString());  // the job gets no name of the program's own
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
        painter_.reset();
        return false;
    }
    return printer_->printerState() != QPrinter::Error;
}

bool TQtPrinterPort::StretchDraw(const QRect& target, const QImage& picture) {
    if (!painter_ || !painter_->isActive()) return false;
    StretchDrawPicture(*painter_, target, picture);
    return printer_->printerState() != QPrinter::Error;
}

bool TQtPrinterPort::EndDoc() {
    if (!painter_ || !painter_->isActive()) return false;
    const bool ended = painter_->end();
    painter_.reset();
    return ended && printer_->printerState() != QPrinter::Error && QueueTookTheJob(*printer_);
}

void TQtPrinterPort::AbortDoc() {
    // A painter left open would refuse every later print.
    if (painter_ && painter_->isActive()) {
        printer_->abort();
        painter_->end();
    }
    painter_.reset();
}

void StretchDrawPicture(QPainter& painter, const QRect& target, const QImage& picture) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, picture);
}

TPrintOutcome PrintPicture(TPrinterPort& port, QWidget* owner, const Picture24& picture, TResolution resolution) {
    if (port.InstalledPrinters().isEmpty()) return TPrintOutcome::NoPrinter;
    const std::optional<int> copies = port.RunPrintDialog(owner);
    if (!copies) return TPrintOutcome::Cancelled;
    port.SetCopies(*copies);
    const int dpiX = port.ResolutionX();
    const int dpiY = port.ResolutionY();
    const std::optional<TPrintPlacement> place = PlacePrintedPicture(
        picture.Width(), picture.Height(), resolution, dpiX, dpiY, port.PageWidth(), port.PageHeight());
    if (!place) return TPrintOutcome::Failed;
    const QImage image(picture.Data(), picture.Width(), picture.Height(), static_cast<qsizetype>(picture.Stride()),
                       QImage::Format_BGR888);
    if (image.isNull() && !picture.Empty()) return TPrintOutcome::Failed;

    if (!port.BeginDoc()) return TPrintOutcome::Failed;
    if (!port.StretchDraw(QRect(place->Left, place->Top, place->Width, place->Height), image)) {
        port.AbortDoc();
        return TPrintOutcome::Failed;
    }
    // The window repaints where the print dialog was before the job ends. User
    // input waits for the job's end, so no command starts in the middle of it.
    ProcessMessagesFor(1000, TickCount, [] {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    });
    return port.EndDoc() ? TPrintOutcome::Printed : TPrintOutcome::Failed;
}

bool SetUpPrinter(TPrinterPort& port, QWidget* owner) {
    if (port.InstalledPrinters().isEmpty()) return false;
    port.RunPrinterSetupDialog(owner);
    return true;
}

}  // namespace fernweave
