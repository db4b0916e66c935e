// Fernweave: draw triangles, and the chaos game paints the fractal they define.
#include <QApplication>
#include <QDesktopServices>

#include "about_box.h"
#include "dialogs.h"
#include "display_opening.h"
#include "fractal_state.h"
#include "instance_lock.h"
#include "main_window.h"
#include "program_info.h"

int main(int argc, char* argv[]) {
    using namespace fernweave;
    BeginOpeningDisplay();
    QApplication application(argc, argv);
    EndOpeningDisplay();
    if (AlreadyRunning()) return 0;

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
    frmMain.show();
    frmAbout->raise();

    const int code = QApplication::exec();
    delete frmAbout;
    return code;
}
