// Printing the canvas picture: the printer behind one small interface, so that
// the job can be followed without a printer, and the Print command's steps.
#pragma once

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QRect>
#include <QStringList>
#include <memory>
#include <optional>

#include "picture.h"
#include "resolution.h"

class QImage;
class QPainter;
class QWidget;

namespace fernweave {

// The current printer of the run and its dialogs.
class TPrinterPort {
public:
    virtual ~TPrinterPort() = default;

    virtual QStringList InstalledPrinters() = 0;
    // The print dialog (printer and copies): the copies chosen, or nothing when cancelled.
    virtual std::optional<int> RunPrintDialog(QWidget* owner) = 0;
    // The printer-setup dialog: printer, paper and orientation for later prints.
    virtual void RunPrinterSetupDialog(QWidget* owner) = 0;
    virtual void SetCopies(int copies) = 0;
    // Dots per inch across and down.
    virtual int ResolutionX() = 0;
    virtual int ResolutionY() = 0;
    // The printable page in dots.
    virtual int PageWidth() = 0;
    virtual int PageHeight() = 0;
    // Each false when the step failed.
    virtual bool BeginDoc() = 0;
    virtual bool StretchDraw(const QRect& target, const QImage& picture) = 0;
    virtual bool EndDoc() = 0;
    // Drops a job that failed after it was begun.
    virtual void AbortDoc() = 0;
};

// The desktop's printers through one QPrinter, kept for the whole run so that
// the choices of both dialogs apply to later prints.
class TQtPrinterPort : public TPrinterPort {
public:
    TQtPrinterPort();
    ~TQtPrinterPort() override;

    QStringList InstalledPrinters() override;
    std::optional<int> RunPrintDialog(QWidget* owner) override;
    void RunPrinterSetupDialog(QWidget* owner) override;
    void SetCopies(int copies) override { printer_->setCopyCount(copies); }
    int ResolutionX() override { return printer_->logicalDpiX(); }
    int ResolutionY() override { return printer_->logicalDpiY(); }
    int PageWidth() override { return printer_->width(); }
    int PageHeight() override { return printer_->height(); }
    bool BeginDoc() override;
    bool StretchDraw(const QRect& target, const QImage& picture) override;
    bool EndDoc() override;
    void AbortDoc() override;

    QPrinter& Printer() { return *printer_; }

private:
    // What Print Setup chose last; the print dialog would forget it.
    struct TSetUp {
        QString Printer;
        QPageSize Paper;
        QPageLayout::Orientation Orientation;
    };

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    std::optional<TSetUp> setUp_;
};

enum class TPrintOutcome { NoPrinter, Cancelled, Printed, Failed };

// The Print command's steps: checks for a printer, runs the print dialog,
// gives the printer the copies, places the picture and prints it on one page,
// keeping the window's messages flowing for a second before the job ends.
// Throws "Floating point division by zero" after the dialog for a canvas
// resolution of 0, before anything is printed.
TPrintOutcome PrintPicture(TPrinterPort& port, QWidget* owner, const Picture24& picture, TResolution resolution);

// The Print Setup command: false when there is no printer to set up.
bool SetUpPrinter(TPrinterPort& port, QWidget* owner);

// Draws `picture` stretched into `target` without smoothing: rows and columns
// are repeated or dropped, never blended.
void StretchDrawPicture(QPainter& painter, const QRect& target, const QImage& picture);

}  // namespace fernweave
