// The compiled-help binding. chmlib is loaded at run time by name, so the
// program starts and runs without it; the help commands then do nothing. The
// help window is ours (help_viewer.h) and belongs to no window of the program.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <utility>

#include "chm_file.h"

class QWidget;

namespace fernweave {

class TfrmHelp;

inline constexpr const char* ChmLibraryName = "libchm.so.1";
inline constexpr const char* HelpFileName = "Fernweave.chm";

// The two commands of the help: the table of contents, and the topic of a
// numeric context id.
inline constexpr int HH_DISPLAY_TOC = 1;
inline constexpr int HH_HELP_CONTEXT = 15;

class THtmlHelp {
public:
    THtmlHelp();
    ~THtmlHelp();
    THtmlHelp(const THtmlHelp&) = delete;
    THtmlHelp& operator=(const THtmlHelp&) = delete;

    // Loads chmlib by that name and resolves its entry points. A failure
    // leaves HelpLibrary or HtmlHelpProc null and is not reported. A library
    // once loaded stays loaded until the process ends.
    void LoadHtmlHelp(const char* libraryName = ChmLibraryName);
    bool Available() const { return HelpLibrary != nullptr && HtmlHelpProc != nullptr; }

    // Shows HelpFile in the help window: HH_DISPLAY_TOC at its contents (data
    // unused), HH_HELP_CONTEXT at the topic of context id `data`. `beside` only
    // suggests where the window goes. Returns the window, or nullptr without
    // chmlib; a missing or damaged file gets a window that says so.
    TfrmHelp* HtmlHelp(int command, std::uint32_t data, const QWidget* beside = nullptr);

    // The help window, once one was shown.
    TfrmHelp* Viewer() const { return viewer_.get(); }

    // The help file: the folder of the executable and HelpFileName.
    QString HelpFile;
    void* HelpLibrary = nullptr;
    const TChmProcs* HtmlHelpProc = nullptr;  // the resolved entry points, or nullptr

private:
    TChmProcs procs_;
    std::unique_ptr<TfrmHelp> viewer_;
    std::pair<qint64, qint64> stamp_{-1, -1};  // size and time of the file the window shows
};

// The help file beside the running program.
QString DefaultHelpFile();

// False where the platform gives windows no positions (Wayland): the help then
// opens as a normal window that the desktop places, and nothing else depends
// on where windows are.
bool PlatformPlacesWindows();

}  // namespace fernweave
