// The Print and Print Setup commands of the main window.
#include "canvas_document.h"
#include "dialogs.h"
#include "main_window.h"
#include "print_command.h"
#include "window_hooks.h"

namespace fernweave {

namespace {

// The one printer of the run, made when a print command first needs it.
TPrinterPort& PortOf(std::shared_ptr<TPrinterPort>& port) {
    if (!port) port = std::make_shared<TQtPrinterPort>();
    return *port;
}

}  // namespace

void TfrmMain::mnuFilePrintClick() {
    switch (PrintPicture(PortOf(FHooks->FPrinterPort), this, Canvas(), FDocument->Resolution)) {
        case TPrintOutcome::NoPrinter:
            FDialogs.Warn(this, "Print", "No Printer Exists.");
            break;
        case TPrintOutcome::Failed:
            FDialogs.Warn(this, "Print", "Printing Error.");
            break;
        case TPrintOutcome::Cancelled:
        case TPrintOutcome::Printed:
            break;
    }
}

void TfrmMain::mnuFilePrintSetupClick() {
    if (!SetUpPrinter(PortOf(FHooks->FPrinterPort), this))
        FDialogs.Warn(this, "Print", "No Printer Exists.");
}

}  // namespace fernweave
