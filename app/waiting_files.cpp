// Files from outside that arrived while the window was busy (drawing,
// rendering, an import waiting, a dialog open): they wait, in the order they
// came, and open one after another as soon as the window is idle.
#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "main_window.h"

namespace fernweave {

namespace {

// How often the window looks whether it has become idle while files wait.
constexpr int WaitingCheckMs = 200;

}  // namespace

void TfrmMain::OpenWaitingFiles() {
    // Opening a file may ask a question, whose event loop comes back here.
    if (FOpeningWaitingFiles) return;
    FOpeningWaitingFiles = true;
    while (!FWaitingFiles.isEmpty() && IsIdle() && !QApplication::activeModalWidget()) {
        const QString fileName = FWaitingFiles.takeFirst();
        Guard([&] { OpenFile(fileName); });
    }
    FOpeningWaitingFiles = false;

    if (!lblWaitingFiles) {
        lblWaitingFiles = new QLabel(this);
        lblWaitingFiles->setObjectName("lblWaitingFiles");
        StatusBar1->addPermanentWidget(lblWaitingFiles);
        FWaitingTimer = new QTimer(this);
        FWaitingTimer->setInterval(WaitingCheckMs);
        connect(FWaitingTimer, &QTimer::timeout, this, [this] { OpenWaitingFiles(); });
    }
    const auto count = FWaitingFiles.size();
    lblWaitingFiles->setText(count == 1 ? QString("1 file waiting") : QString("%1 files waiting").arg(count));
    lblWaitingFiles->setVisible(count > 0);
    if (count > 0)
        FWaitingTimer->start();
    else
        FWaitingTimer->stop();
}

}  // namespace fernweave
