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
            FDialogs.Message(this, "Print", "No Printer Exists.", TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
            break;
        case TPrintOutcome::Failed:
            FDialogs.Message(this, "Print", "Printing Error.", TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
            break;
        case TPrintOutcome::Cancelled:
        case TPrintOutcome::Printed:
            break;
    }
}

void TfrmMain::mnuFilePrintSetupClick() {
    if (!SetUpPrinter(PortOf(FHooks->FPrinterPort), this))
        FDialogs.Message(this, "Print", "No Printer Exists.", TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
}

}  // namespace fernweave
