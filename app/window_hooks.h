// What the main window takes from outside besides its dialogs: the About box,
// the browser, the choice among a file's designs and the printer, and the
// places where a window test holds the window's work back.
#pragma once

#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "renderer.h"
#include "safe_file.h"

class QString;

namespace fernweave {

class DesignFile;
class TPrinterPort;

struct TWindowHooks {
    // Shows the About box modally; the program shows its frmAbout here.
    std::function<void()> ShowAbout;
    // Opens a web address in the desktop's browser.
    std::function<void(const QUrl&)> OpenUrl;
    // Picks the entry of a file with several; empty: the list dialog.
    std::function<std::optional<std::size_t>(const DesignFile& file, const QString& fileName)> ChooseEntry;
    // The printer of the run, made by the first print command when empty.
    std::shared_ptr<TPrinterPort> FPrinterPort;
    // The way from a rendering's end notice to its RenderDone; empty: at once.
    std::function<void(std::function<void()> renderDone)> RenderEndGate;
    // Steps after which a rendering ends by itself; unlimited for the user.
    std::uint64_t FRenderStepLimit = Unlimited;
    // Where the save and poster workers write their bytes.
    FileWriter FSaveWriter;
};

}  // namespace fernweave
