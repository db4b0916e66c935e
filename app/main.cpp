// Fernweave: draw triangles, and the chaos game paints the fractal they define.
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <iostream>

#include "about_box.h"
#include "command_line.h"
#include "dialogs.h"
#include "display_opening.h"
#include "file_handover.h"
#include "fractal_state.h"
#include "instance_lock.h"
#include "main_window.h"
#include "program_info.h"
#include "version_text.h"

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
    const std::string lockFolder = SafeRuntimeFolder();
    if (AlreadyRunning(lockFolder)) {
        // A start without a file ends silently; a file goes to the running instance.
        if (commandLine.File.empty()) return 0;
        std::string error;
        if (HandFileToRunningInstance(lockFolder, QFile::decodeName(commandLine.File.c_str()), error)) return 0;
        std::cerr << "fernweave: " << error << '\n';
        return 1;
    }

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
    frmMain.ShowAbout = [frmAbout] { frmAbout->ShowModal(); };
    TFileReceiver receiver(lockFolder);
    QObject::connect(
        &receiver, &TFileReceiver::FileReceived, &frmMain,
        [&frmMain](const QString& file) { frmMain.Guard([&] { frmMain.OpenFileFromOutside(file); }); },
        Qt::QueuedConnection);
    frmMain.show();
    frmAbout->raise();
    if (!commandLine.File.empty()) {
        const QString file = QFile::decodeName(commandLine.File.c_str());
        QTimer::singleShot(0, &frmMain, [&frmMain, file] { frmMain.Guard([&] { frmMain.OpenFile(file); }); });
    }

    const int code = QApplication::exec();
    delete frmAbout;
    return code;
}
