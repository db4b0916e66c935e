#include "html_help.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <tuple>

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

constexpr int HelpMinWidth = 480;  // narrower, the pages no longer read well

qint64 Overlap(const QRect& a, const QRect& b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : qint64{both.width()} * both.height();
}

// Beside the main window where the screen has room for the help at its own
// width, or at least at HelpMinWidth. Else, at HelpMinWidth, at the left or
// right screen edge, where it hides the least of the work area (colour panel
// and canvas), then of the rest of the main window; the right when alike.
QRect HelpPlacement(QSize size, const QRect& area, const QRect& main, const QRect& work) {
    size = size.boundedTo(area.size());
    const int y = std::clamp(main.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    const int roomRight = area.right() - main.right(), roomLeft = main.left() - area.left();
    const int room = std::max(roomRight, roomLeft);
    if (room >= std::min(size.width(), HelpMinWidth)) {
        const int width = std::min(size.width(), room);
        const bool right = roomRight >= std::min(size.width(), roomLeft);
        return QRect(right ? main.right() + 1 : main.left() - width, y, width, size.height());
    }
    const int width = std::min(size.width(), HelpMinWidth);
    const QRect right(area.right() + 1 - width, y, width, size.height());
    const QRect left(area.left(), y, width, size.height());
    const auto cost = [&](const QRect& at) { return std::tuple{Overlap(at, work), Overlap(at, main)}; };
    return cost(left) < cost(right) ? left : right;
}

void PlaceBeside(QWidget& window, const QWidget* beside) {
    const QScreen* screen = beside ? beside->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    if (!PlatformPlacesWindows()) {
        // No positions to go by: a normal window that the desktop places, as
        // wide as the room beside the main window (at least HelpMinWidth), so
        // that it hides as little of the canvas as it can.
        const int room = beside ? area.width() - beside->frameGeometry().width() : area.width();
        const int width = std::min(std::clamp(room, HelpMinWidth, std::max(window.width(), HelpMinWidth)), area.width());
        window.resize(width, std::min(window.height(), area.height()));
        return;
    }
    const QSize size = window.size().boundedTo(area.size());
    QRect at(area.center() - QPoint(size.width() / 2, size.height() / 2), size);
    if (beside && beside->isVisible()) {
        const auto* main = qobject_cast<const QMainWindow*>(beside);
        const QWidget* work = main && main->centralWidget() ? main->centralWidget() : beside;
        at = HelpPlacement(window.size(), area, beside->frameGeometry(),
                           QRect(work->mapToGlobal(QPoint(0, 0)), work->size()));
    }
    window.resize(at.size());
    window.move(at.topLeft());
}

}  // namespace

bool PlatformPlacesWindows() {
    // Wayland gives a window neither its place on the screen nor that of others.
    return !QGuiApplication::platformName().startsWith("wayland");
}

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
