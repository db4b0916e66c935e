// The Render Poster command: the dialog, the poster worker, its progress
// window and its end.
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "main_window.h"
#include "image_quality_dialog.h"
#include "memory_budget.h"
#include "poster_dialog.h"

namespace fernweave {

namespace {

const QString PosterTitle = "Render Poster";

// A window of its own, not modal: the main window stays usable.
QDialog* MakeProgressWindow(QWidget* owner, TPosterWorker* worker) {
    auto* window = new QDialog(owner);
    window->setObjectName("frmPosterProgress");
    window->setWindowTitle(PosterTitle);
    window->setModal(false);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLabel("Rendering the poster...", window));
    auto* bar = new QProgressBar(window);
    bar->setObjectName("pbPoster");
    bar->setRange(0, 1000);
    bar->setMinimumWidth(320);
    layout->addWidget(bar);
    auto* cancel = new QPushButton("Cancel", window);
    cancel->setObjectName("btnCancel");
    layout->addWidget(cancel, 0, Qt::AlignRight);
    QObject::connect(cancel, &QPushButton::clicked, window, [worker, cancel] {
        worker->Cancel();
        cancel->setEnabled(false);
    });
    // Closing the window cancels too.
    QObject::connect(window, &QDialog::rejected, window, [worker] { worker->Cancel(); });
    auto* timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, bar,
                     [bar, worker] { bar->setValue(static_cast<int>(worker->Progress() * 1000)); });
    timer->start(200);
    return window;
}

}  // namespace

void TfrmMain::mnuFilePosterClick() {
    if (!(IsIdle() && state_.MapCount > 0 && !FPosterWorker)) return;
    if (!frmPoster) {
        frmPoster = new TfrmPoster(this);
        frmPoster->Browse = [this] {
            const auto choice = ChooseSaveFile(PosterTitle);
            if (!choice) return false;
            frmPoster->edFile->setText(choice->FileName);
            frmPoster->Format = choice->FilterIndex;
            return true;
        };
    }
    const Picture24& canvas = Canvas();
    frmPoster->ResetSize(canvas.Width(), canvas.Height());

    PosterSettings settings;
    for (;;) {
        if (frmPoster->exec() != QDialog::Accepted) return;
        if (frmPoster->edFile->text().isEmpty() && !frmPoster->Browse()) continue;
        settings = frmPoster->Settings();
        if (settings.Density &&
            static_cast<std::int64_t>(std::max(settings.Width, settings.Height)) * settings.Supersample > MaxPosterSamples) {
            dialogs_.Message(this, PosterTitle,
                             "The poster times the supersampling may be at most 65536 pixels on a side.",
                             TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
            continue;
        }
        ParallelOptions threads;
        threads.Threads = AvailableCores();
        const std::string refusal = CheckMemory(PictureJobBytes(PosterPictureJob(settings), threads), AvailableMemory());
        if (!refusal.empty()) {
            dialogs_.Message(this, PosterTitle,
                             QString::fromStdString("Not enough memory for this poster: " + refusal + "."),
                             TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
            continue;
        }
        break;
    }

    // The object alone, on the background colour, copied now.
    settings.Background = BackColor;
    const TTriangle placement =
        PosterPlacement(state_.BaseTriangle, canvas.Width(), canvas.Height(), settings.Width, settings.Height);
    const auto dpi = static_cast<std::uint16_t>(frmPoster->Resolution());
    const std::uint64_t poster = ++FPosterCount;
    FPosterWorker = std::make_unique<TPosterWorker>(
        state_.CurrentObject(), placement, settings, frmPoster->edFile->text().toStdString(), frmPoster->Format,
        PackResolution({dpi, dpi}), frmImageQuality->Quality(),
        [this, poster](TPosterWorker::Outcome outcome, const std::string&) {
            // Runs on the worker's thread: hand the end over to the window.
            QMetaObject::invokeMethod(
                this, [this, poster, outcome] { Guard([&] { PosterDone(poster, static_cast<int>(outcome)); }); },
                Qt::QueuedConnection);
        },
        FSaveWriter);
    FPosterProgress = MakeProgressWindow(this, FPosterWorker.get());
    FPosterProgress->show();
    UpdateCommands();
}

void TfrmMain::PosterDone(std::uint64_t poster, int outcome) {
    // A notice from a poster cancelled by the close query has nothing left to end.
    if (!FPosterWorker || poster != FPosterCount) return;
    CancelPoster();
    if (static_cast<TPosterWorker::Outcome>(outcome) == TPosterWorker::Outcome::Failed)
        dialogs_.Message(this, PosterTitle, "Fail to save the picture.", TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
    UpdateCommands();
}

void TfrmMain::CancelPoster() {
    if (FPosterWorker) {
        FPosterWorker->Cancel();
        FPosterWorker.reset();  // waits for its thread
    }
    // Never called from the progress window's own handlers, so it can go at once.
    delete FPosterProgress;
    FPosterProgress = nullptr;
}

}  // namespace fernweave
