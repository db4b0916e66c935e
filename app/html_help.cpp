#include "html_help.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "help_viewer.h"

namespace fernweave {

namespace {

// dlsym hands out an object pointer; the entry point is a function pointer of the same size.
template <class F>
bool Resolve(void* library, const char* name, F& entry) {
    void* symbol = dlsym(library, name);
    static_assert(sizeof symbol == sizeof entry);
    std::memcpy(&entry, &symbol, sizeof entry);
    return symbol != nullptr;
}

// Beside the main window where the screen has room, else at the screen's right edge.
void PlaceBeside(QWidget& window, const QWidget* beside) {
    const QScreen* screen = beside ? beside->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size(std::min(window.width(), area.width()), std::min(window.height(), area.height()));
    window.resize(size);
    QPoint at = area.center() - QPoint(size.width() / 2, size.height() / 2);
    if (beside && beside->isVisible()) {
        const QRect main = beside->frameGeometry();
        if (main.right() + 1 + size.width() <= area.right() + 1)
            at = QPoint(main.right() + 1, main.top());
        else if (main.left() - size.width() >= area.left())
            at = QPoint(main.left() - size.width(), main.top());
        else
            at = QPoint(area.right() + 1 - size.width(), main.top());
    }
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    window.move(at);
}

}  // namespace

QString DefaultHelpFile() { return QCoreApplication::applicationDirPath() + '/' + HelpFileName; }

THtmlHelp::THtmlHelp() : HelpFile(DefaultHelpFile()) {}

THtmlHelp::~THtmlHelp() = default;

void THtmlHelp::LoadHtmlHelp(const char* libraryName) {
    viewer_.reset();
    HtmlHelpProc = nullptr;
    procs_ = {};
    HelpLibrary = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!HelpLibrary) return;
    const bool all = Resolve(HelpLibrary, "chm_open", procs_.chm_open) &
                     Resolve(HelpLibrary, "chm_close", procs_.chm_close) &
                     Resolve(HelpLibrary, "chm_resolve_object", procs_.chm_resolve_object) &
                     Resolve(HelpLibrary, "chm_retrieve_object", procs_.chm_retrieve_object) &
                     Resolve(HelpLibrary, "chm_enumerate", procs_.chm_enumerate);
    if (all) HtmlHelpProc = &procs_;
}

TfrmHelp* THtmlHelp::HtmlHelp(int command, std::uint32_t data, const QWidget* beside) {
    if (!Available() || (command != HH_DISPLAY_TOC && command != HH_HELP_CONTEXT)) return nullptr;
    const QFileInfo info(HelpFile);
    // A file rebuilt or replaced since the window opened is read afresh.
    const std::pair<qint64, qint64> stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
    if (!viewer_ || viewer_->File().FileName() != HelpFile || stamp != stamp_) {
        // A file that is missing or cannot be read still gets the window, which says so.
        auto file = std::make_shared<const TChmFile>(*HtmlHelpProc, HelpFile);
        const bool placed = viewer_ != nullptr;
        const QRect geometry = placed ? viewer_->geometry() : QRect();
        const bool shown = placed && viewer_->isVisible();
        viewer_ = std::make_unique<TfrmHelp>(std::move(file));
        stamp_ = stamp;
        if (shown)
            viewer_->setGeometry(geometry);
        else
            PlaceBeside(*viewer_, beside);
    }
    if (command == HH_DISPLAY_TOC)
        viewer_->ShowContents();
    else
        viewer_->ShowContext(data);
    viewer_->show();
    viewer_->raise();
    viewer_->activateWindow();
    return viewer_.get();
}

}  // namespace fernweave
