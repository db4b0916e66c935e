// Fernweave: draw triangles, and the chaos game paints the fractal they define.
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <iostream>

#include "about_box.h"
#include "command_line.h"
#include "dialogs.h"
#include "display_opening.h"
#include "file_handover.h"
#include "fractal_state.h"
#include "html_help.h"
#include "instance_lock.h"
#include "main_window.h"
#include "program_info.h"
#include "qt_translations.h"
#include "renderer.h"
#include "version_text.h"
#include "window_hooks.h"

int main(int argc, char* argv[]) {
    using namespace fernweave;
    // Before the toolkit: --help and --version need no display.
    const TCommandLine commandLine = ParseCommandLine(argc, argv);
    switch (commandLine.Action) {
        case TCommandLine::TAction::Help:
            std::cout << CommandLineHelp() << std::flush;
            return std::cout ? 0 : 1;
        case TCommandLine::TAction::Version:
            std::cout << VersionText("fernweave") << std::flush;
            return std::cout ? 0 : 1;
        case TCommandLine::TAction::Usage:
            std::cerr << "fernweave: " << commandLine.Error << '\n';
            return 2;
        case TCommandLine::TAction::Run:
            break;
    }

    BeginOpeningDisplay();
    QApplication application(argc, argv);
    EndOpeningDisplay();
    InstallQtTranslations(application);
    const std::string lockFolder = SafeRuntimeFolder();
    QStringList files;
    for (const std::string& file : commandLine.Files) files.append(QFile::decodeName(file.c_str()));
    if (AlreadyRunning(lockFolder)) {
        // A start without a file ends silently; files go to the running instance.
        if (files.isEmpty()) return 0;
        std::string error;
        if (HandFilesToRunningInstance(lockFolder, files, qEnvironmentVariable("XDG_ACTIVATION_TOKEN"), error))
            return 0;
        std::cerr << "fernweave: " << error << '\n';
        return 1;
    }
    // Listening from the moment the lock is ours, so that a second start during
    // the start-up loses nothing: what arrives before the window waits here.
    TfrmMain* window = nullptr;
    QList<std::pair<QString, QString>> early;
    TFileReceiver receiver(lockFolder);
    QObject::connect(
        &receiver, &TFileReceiver::FileReceived, &receiver,
        [&window, &early](const QString& file, const QString& token) {
            if (window)
                window->Guard([&] { window->OpenFileFromOutside(file, token); });
            else
                early.append({file, token});
        },
        Qt::QueuedConnection);

    // The About box stands as the splash while the rest starts.
    auto* frmAbout = new TfrmAbout([](const QUrl& url) { QDesktopServices::openUrl(url); });
    frmAbout->show();
    frmAbout->repaint();
    QApplication::processEvents();

    QApplication::setApplicationName(ProgramCaption);
    QApplication::setWindowIcon(QIcon(":/icons/fernweave.svg"));

    FractalState state;
    TQtDialogs dialogs;
    TfrmMain frmMain(state, dialogs);
    frmMain.Hooks().ShowAbout = [frmAbout] { frmAbout->ShowModal(); };
    frmMain.show();
    if (PlatformPlacesWindows()) {
        frmAbout->raise();
    } else {
        // Without stacking by request (Wayland), the splash shows again as the
        // main window's child, which the desktop keeps above it.
        frmAbout->hide();
        frmAbout->winId();
        frmAbout->windowHandle()->setTransientParent(frmMain.windowHandle());
        frmAbout->show();
    }
    // The start's own files first, then those handed over meanwhile, in order.
    QTimer::singleShot(0, &frmMain, [&] {
        window = &frmMain;
        frmMain.AddWaitingFiles(files);
        for (const auto& [file, token] : early) frmMain.Guard([&] { frmMain.OpenFileFromOutside(file, token); });
        early.clear();
        frmMain.Guard([&] { frmMain.OpenWaitingFiles(); });
    });

    const int code = QApplication::exec();
    delete frmAbout;
    return code;
}
