// The Render Poster command: the dialog, the poster worker, its progress
// window and its end.
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <memory>
#include <optional>
#include <tuple>

#include "canvas_document.h"
#include "color_panel.h"
#include "dialogs.h"
#include "image_quality_dialog.h"
#include "main_window.h"
#include "memory_budget.h"
#include "poster_dialog.h"
#include "poster_job.h"
#include "poster_worker.h"
#include "renderer.h"
#include "save_worker.h"
#include "window_hooks.h"
#include "worker.h"

namespace fernweave {

namespace {

const QString PosterTitle = "Render Poster";

QString PhaseText(const TPosterWorker& worker, double secondsRendering) {
    switch (worker.CurrentPhase()) {
        case TPosterWorker::Phase::Preparing:
            return "Preparing the memory...";
        case TPosterWorker::Phase::Writing:
            return "Writing " + QString::fromStdString(worker.FileName()) + "...";
        case TPosterWorker::Phase::Rendering:
            break;
    }
    const double done = static_cast<double>(worker.StepsDone());
    QString text = QString("Rendering the poster: %1 %").arg(std::floor(worker.Progress() * 100), 0, 'f', 0);
    if (done > 0 && secondsRendering > 2) {
        const double rate = done / secondsRendering;
        const double left = (static_cast<double>(worker.Steps()) - done) / rate;
        text += QString(", %1 million steps a second, ").arg(rate / 1e6, 0, 'f', 0);
        text += left < 90 ? QString("%1 s left").arg(std::ceil(left), 0, 'f', 0)
                          : QString("%1 min left").arg(std::ceil(left / 60), 0, 'f', 0);
    }
    return text;
}

// A window of its own, not modal: the main window stays usable. It stays
// until the worker has really stopped.
QDialog* MakeProgressWindow(QWidget* owner, TPosterWorker* worker) {
    auto* window = new QDialog(owner);
    window->setObjectName("frmPosterProgress");
    window->setWindowTitle(PosterTitle);
    window->setModal(false);
    auto* layout = new QVBoxLayout(window);
    auto* phase = new QLabel("Preparing the memory...", window);
    phase->setObjectName("lblPhase");
    layout->addWidget(phase);
    auto* bar = new QProgressBar(window);
    bar->setObjectName("pbPoster");
    bar->setRange(0, 1000);
    bar->setMinimumWidth(420);
    layout->addWidget(bar);
    auto* cancel = new QPushButton("Cancel", window);
    cancel->setObjectName("btnCancel");
    // Not the default button: a stray Enter must not throw the rendering away.
    cancel->setAutoDefault(false);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    const auto stop = [worker, cancel, phase] {
        worker->Cancel();
        cancel->setEnabled(false);
        phase->setText("Stopping...");
    };
    QObject::connect(cancel, &QPushButton::clicked, window, stop);
    // Closing the window cancels too.
    QObject::connect(window, &QDialog::rejected, window, stop);
    auto* timer = new QTimer(window);
    auto rendering = std::make_shared<std::optional<QElapsedTimer>>();
    QObject::connect(timer, &QTimer::timeout, bar, [bar, worker, phase, cancel, rendering] {
        if (worker->CurrentPhase() == TPosterWorker::Phase::Rendering && !*rendering) rendering->emplace().start();
        if (cancel->isEnabled())
            phase->setText(PhaseText(*worker, *rendering ? static_cast<double>((*rendering)->elapsed()) / 1000 : 0));
        if (worker->CurrentPhase() == TPosterWorker::Phase::Preparing) {
            bar->setRange(0, 0);  // busy: the memory is being set up
        } else {
            bar->setRange(0, 100);
            bar->setValue(static_cast<int>(worker->Progress() * 100));
        }
    });
    timer->start(200);
    return window;
}

}  // namespace

// The file the poster goes to, settled before any work: a name, its format
// from the extension (a name without one gets the chosen type's), the
// overwrite question, and what can be checked of the target. Nothing when
// the dialog must show again.
std::optional<std::pair<QString, int>> TfrmMain::PosterTarget(const PosterSettings& settings) {
    QString name = frmPoster->edFile->text().trimmed();
    if (name.isEmpty() || QFileInfo(name).isDir()) {
        if (!frmPoster->Browse()) return std::nullopt;
        name = frmPoster->edFile->text();
    }
    const int chosen = frmPoster->Format > 0 ? frmPoster->Format : FSaveFilterIndex;
    int format = FormatForFileName(name.toStdString(), TPictureFormat{0});
    if (format == 0) {
        format = std::clamp(chosen, 1, 3);
        const std::string_view extension = FormatInfo(static_cast<TPictureFormat>(format)).Extensions[0];
        name += QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
        frmPoster->edFile->setText(name);
    }
    if (QFileInfo::exists(name) && name != frmPoster->ConfirmedFile) {
        if (FDialogs.Message(this, PosterTitle,
                             QFileInfo(name).fileName() + " already exists.\nDo you want to replace it?",
                             TDialogs::Buttons::YesNo, TDialogs::Icon::Warning) != TDialogs::Answer::Yes)
            return std::nullopt;
        frmPoster->ConfirmedFile = name;
    }
    std::string problem = PictureSizeProblem(format, settings.Width, settings.Height);
    if (problem.empty() && format != FormatPng && (settings.Transparent || (settings.Density && settings.Bits == 16)))
        problem = "a transparent or 16-bit poster can be written only as PNG; name the file .png";
    if (problem.empty())
        problem = CheckTargetFile(name.toStdString(), PictureFileBytes(format, settings.Width, settings.Height,
                                                                       PosterPictureJob(settings).PixelBytes()));
    if (!problem.empty()) {
        FDialogs.Warn(this, PosterTitle, QString::fromStdString("The poster cannot be written: " + problem + "."));
        return std::nullopt;
    }
    return std::make_pair(name, format);
}

void TfrmMain::mnuFilePosterClick() {
    if (!CommandStates(*FDocument, RenderActive(), FWorkers->Find<TPosterWorker>() != nullptr)[TCommand::Poster]) return;
    if (!frmPoster) {
        frmPoster = new TfrmPoster(this);
        frmPoster->Browse = [this] {
            const auto choice = ChooseSaveFile(PosterTitle);
            if (!choice) return false;
            frmPoster->edFile->setText(choice->FileName);
            frmPoster->Format = choice->FilterIndex;
            frmPoster->ConfirmedFile = choice->FileName;  // the save dialog asked
            return true;
        };
    }
    const Picture24& canvas = Canvas();
    frmPoster->ResetSize(canvas.Width(), canvas.Height());
    frmPoster->SetPreviewObject(FState.CurrentObject(), FState.BaseTriangle, canvas.Width(), canvas.Height(), BackColor);

    PosterSettings settings;
    QString fileName;
    int format = FormatBmp;
    for (;;) {
        if (frmPoster->exec() != QDialog::Accepted) return;
        settings = frmPoster->Settings();
        if (const std::string problem = PosterSettingsProblem(settings); !problem.empty()) {
            FDialogs.Warn(this, PosterTitle, QString::fromStdString(problem));
            continue;
        }
        const auto target = PosterTarget(settings);
        if (!target) continue;
        std::tie(fileName, format) = *target;
        ParallelOptions threads;
        threads.Threads = settings.Threads > 0 ? settings.Threads : AvailableCores();
        const std::optional<MemoryLimit> available =
            AvailableMemoryWithin(frmPoster->MemoryCap(), "the memory set in this dialog");
        // A poster that does not fit whole is rendered and written in bands.
        const PictureJob job = PosterPictureJob(settings);
        const BandPlan plan = PlanBands(job, threads, available ? available->Bytes : ~std::uint64_t{0});
        settings.BandRows = plan.Whole ? 0 : plan.Rows;
        if (plan.Rows == 0) {
            const std::string refusal = CheckMemory(BandedJobBytes(job, threads, 1), available);
            FDialogs.Warn(this, PosterTitle,
                          QString::fromStdString("Not enough memory for this poster: " + refusal + "."));
            continue;
        }
        break;
    }

    // The object alone, on the background colour, copied now.
    settings.Background = BackColor;
    const TTriangle placement =
        PosterPlacement(FState.BaseTriangle, canvas.Width(), canvas.Height(), settings.Width, settings.Height);
    const auto dpi = static_cast<std::uint16_t>(frmPoster->Resolution());
    TPosterWorker& poster = FWorkers->Start<TPosterWorker>(
        [&](TWorker::EndNotice ended) {
            return std::make_unique<TPosterWorker>(FState.CurrentObject(), placement, settings, fileName.toStdString(),
                                                   format, PackResolution({dpi, dpi}), frmImageQuality->Quality(),
                                                   std::move(ended), FHooks->FSaveWriter);
        },
        [this](TPosterWorker& ended) { Guard([&] { PosterDone(ended); }); });
    FPosterProgress = MakeProgressWindow(this, &poster);
    FPosterProgress->show();
    UpdateCommands();
}

void TfrmMain::PosterDone(TPosterWorker& poster) {
    const TPosterWorker::Outcome ended = poster.Result();
    const QString error = QString::fromStdString(poster.Error());
    if (ended == TPosterWorker::Outcome::Failed && (poster.HasPoster() || poster.Banded())) {
        // The rendering is done: never throw it away for a file that could not be written.
        FDialogs.Message(this, PosterTitle,
                         "The poster could not be written (" + error +
                             (poster.Banded()
                                  ? ").\nChoose another file to render it into again; Cancel there ends the poster."
                                  : ").\nChoose another file to save it to; Cancel there discards the poster."),
                         TDialogs::Buttons::Ok, TDialogs::Icon::Warning);
        if (const auto choice = ChooseSaveFile(PosterTitle)) {
            const std::string name = choice->FileName.toStdString();
            poster.Rewrite(name, FormatForFileName(name, static_cast<TPictureFormat>(choice->FilterIndex)));
            return;
        }
    } else if (ended == TPosterWorker::Outcome::Failed) {
        FDialogs.Warn(this, PosterTitle, "Fail to save the picture." + (error.isEmpty() ? QString() : "\n" + error));
    } else if (ended == TPosterWorker::Outcome::Written) {
        SetHintPanel("Poster saved to " + QString::fromStdString(poster.FileName()));
    }
    CancelPoster();
    UpdateCommands();
}

void TfrmMain::CancelPoster() {
    if (TPosterWorker* poster = FWorkers->Find<TPosterWorker>()) {
        poster->Cancel();
        FWorkers->Release(*poster);  // waits for its thread
    }
    // Never called from the progress window's own handlers, so it can go at once.
    delete FPosterProgress;
    FPosterProgress = nullptr;
}

}  // namespace fernweave
