#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <deque>
#include <QtTest>
#include <sstream>

#include "main_window.h"
#include "object_file.h"
#include "poster_dialog.h"
#include "render_cli.h"
#include "strict_number.h"
#include "window_fixture.h"

using namespace fernweave;

namespace {

QByteArray Slurp(const QString& name) {
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

}  // namespace

class PosterCommandTest : public QObject, TWindowTest {
    Q_OBJECT

    struct Entry {
        int width, height;
        bool density;
        int hits;
        QString file;  // typed into the dialog; empty: Browse answers from the file dialog's answers
        int memoryMiB = 0, threads = 0;  // 0: as the dialog has them
    };

    // Runs the command, filling in the dialog and pressing OK each time it
    // shows, one entry a time; Cancel when the entries have run out.
    void RenderPosterWith(std::deque<Entry> entries) {
        QTimer filler;
        QObject::connect(&filler, &QTimer::timeout, w, [this, &entries] {
            TfrmPoster* d = Find<TfrmPoster>(w, "frmPoster");
            if (!d || !d->isVisible()) return;
            if (entries.empty()) {
                d->btnCancel->click();
                return;
            }
            const Entry e = entries.front();
            entries.pop_front();
            d->edWidth->setValue(e.width);
            d->edHeight->setValue(e.height);
            d->edResolution->setValue(150);
            d->cbShading->setCurrentIndex(e.density ? 1 : 0);
            d->edSupersample->setValue(2);
            d->edHits->setValue(e.hits);
            d->edFile->setText(e.file);
            if (e.memoryMiB > 0) d->edMemory->setValue(e.memoryMiB);
            if (e.threads > 0) d->edThreads->setValue(e.threads);
            if (e.memoryMiB > 0) estimate = d->lblEstimate->text();
            d->btnOk->click();
        });
        filler.start(10);
        Invoke(w, "mnuFilePosterClick");
    }

    QString estimate;  // what the dialog said of an entry with a memory cap

    // The disk is full for the next write, and only for it.
    void FailTheFirstWrite() {
        static std::atomic<int> failures;
        failures = 1;
        w->Hooks().FSaveWriter.WriteAll = [](int fd, const std::uint8_t* data, std::size_t size) {
            if (failures.fetch_sub(1) <= 0) return WriteAllToDescriptor(fd, data, size);
            errno = ENOSPC;
            return false;
        };
    }

    // The dialog once, with no file typed: the save dialog gives `file`.
    void RenderPoster(const QString& file, int width, int height, bool density, int hits) {
        dialogs->fileAnswers.push_back(TFileChoice{file, 1});
        RenderPosterWith({{width, height, density, hits, ""}});
    }

private slots:
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() {
        w->CancelPoster();
        CloseWindow();
    }

    void theMenuItemFollowsSaveAndTheIdleState() {
        QMenu* file = w->menuBar()->actions().at(0)->menu();
        const auto items = file->actions();
        const int save = items.indexOf(Find(w, "mnuFileSave"));
        QCOMPARE(items.at(save + 1), Find(w, "mnuFilePoster"));
        QCOMPARE(Find(w, "mnuFilePoster")->text(), QString("Render P&oster..."));
        QCOMPARE(Find(w, "mnuFilePoster")->statusTip(), QString("Render the Object as a Large Picture"));
        QVERIFY(Find(w, "mnuFilePoster")->shortcut().isEmpty());
        QVERIFY(!Find(w, "mnuFilePoster")->isEnabled());  // no maps yet
        Render();
        QVERIFY(Find(w, "mnuFilePoster")->isEnabled());
        state->BeginDrawing();
        state->AddPoint(10, 10, clWhite, true);
        w->UpdateCommands();
        QVERIFY(!Find(w, "mnuFilePoster")->isEnabled());  // a drawing in progress
    }

    // The poster is the headless renderer's picture of the exported object,
    // placed on the base triangle carried onto the poster; the canvas is untouched.
    void aPosterIsTheHeadlessRenderingOfTheExportedObject() {
        Render();
        Find<TColorPanel>(w, "pnlColor")->SetBackColor(MakeColor(10, 20, 30));
        const Picture24 canvasBefore = w->Canvas();
        const std::uint32_t generatorBefore = state->RandomState;
        RenderPoster(Path("poster.bmp"), 240, 100, true, 30);
        QVERIFY(w->Workers().Find<TPosterWorker>());
        QVERIFY(!Find(w, "mnuFilePoster")->isEnabled());  // one poster at a time
        QVERIFY(Find<QDialog>(w, "frmPosterProgress") && Find<QDialog>(w, "frmPosterProgress")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QVERIFY(Find(w, "mnuFilePoster")->isEnabled());
        QVERIFY(w->Canvas() == canvasBefore);
        QCOMPARE(state->RandomState, generatorBefore);

        const std::vector<std::uint8_t> object = EncodeObject(state->CurrentObject());
        QFile f(Path("object.ifs"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(object.data()), static_cast<qint64>(object.size()));
        f.close();
        const TTriangle p = PosterPlacement(state->BaseTriangle, 550, 364, 240, 100);
        std::string place;
        for (const TPoint& v : p) place += std::to_string(v.x) + "," + std::to_string(v.y) + ",";
        place.pop_back();
        const std::vector<std::string> args = {
            Path("object.ifs").toStdString(), "-o", Path("reference.bmp").toStdString(), "--size", "240x100",
            "--background", cli::FormatColor(MakeColor(10, 20, 30)), "--steps", std::to_string(30 * 240 * 100),
            "--dpi", "150", "--shading", "density", "--supersample", "2", "--place", place};
        std::ostringstream out, err;
        QCOMPARE(cli::RunRenderTool(args, out, err), cli::ExitOk);
        QCOMPARE(Slurp(Path("poster.bmp")), Slurp(Path("reference.bmp")));
        QVERIFY(dialogs->shown.empty());
    }

    // A poster larger than the memory set is rendered and written in bands,
    // into the file it makes whole; when its file cannot be written, it is
    // rendered again into another.
    void aPosterBeyondTheMemoryIsWrittenInBands() {
        Render();
        FailTheFirstWrite();
        dialogs->fileAnswers.push_back(TFileChoice{Path("banded.bmp"), 1});
        RenderPosterWith({{1600, 1200, true, 2, Path("full.bmp"), 32, 1}});
        QVERIFY2(estimate.contains(" in 3 bands (each rendered twice)"), qPrintable(estimate));
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QCOMPARE(dialogs->shown.size(), std::size_t{1});
        QVERIFY(dialogs->shown[0].text.startsWith("The poster could not be written (" + Path("full.bmp")));
        QVERIFY(dialogs->shown[0].text.endsWith(
            ").\nChoose another file to render it into again; Cancel there ends the poster."));
        QVERIFY(!QFile::exists(Path("full.bmp")));
        RenderPosterWith({{1600, 1200, true, 2, Path("whole.bmp"), 0, 1}});
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QVERIFY(Slurp(Path("banded.bmp")).size() == 54 + 4800 * 1200);
        QVERIFY(Slurp(Path("banded.bmp")) == Slurp(Path("whole.bmp")));
    }

    // What can be checked is checked before any work: the dialog shows again.
    void aTargetThatCannotBeWrittenIsRefusedBeforeRendering() {
        Render();
        QFile plain(Path("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        RenderPosterWith({{50, 40, false, 5, Path("plain/poster.bmp")}, {70000, 40, false, 5, Path("p.bmp")},
                          {65536, 40, false, 5, Path("p.jpg")}});
        QVERIFY(!w->Workers().Find<TPosterWorker>());
        QCOMPARE(dialogs->shown.size(), std::size_t{3});
        QVERIFY(dialogs->shown[0].text.startsWith("The poster cannot be written: " + Path("plain/poster.bmp")));
        QVERIFY(dialogs->shown[0].text.contains("Not a directory"));
        QCOMPARE(dialogs->shown[1].text, QString("The width must be from 1 to 65536 pixels."));
        // A typed value is never cut short (a fifth digit was dropped).
        QSpinBox* width = Find<TfrmPoster>(w, "frmPoster")->edWidth;
        width->selectAll();
        QTest::keyClicks(width, "20000");
        QCOMPARE(width->value(), 20000);
        // Or the size on paper: 30 cm at 150 DPI is 1772 pixels; A3 at 150 DPI, turned like the canvas.
        Find<TfrmPoster>(w, "frmPoster")->edPrintWidth->setValue(30);
        QCOMPARE(width->value(), 1772);
        Find<TfrmPoster>(w, "frmPoster")->cbPreset->setCurrentIndex(2);
        emit Find<TfrmPoster>(w, "frmPoster")->cbPreset->activated(2);
        QCOMPARE(width->value(), 2480);
        QCOMPARE(Find<TfrmPoster>(w, "frmPoster")->edHeight->value(), 1754);
        QVERIFY(dialogs->shown[2].text.contains("at most 65500 pixels on a side"));
    }

    // The file field starts empty every time; a typed existing name asks
    // before it is replaced, and its extension decides the format.
    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo() {
        Render();
        QFile old(Path("poster.png"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the old poster");
        old.close();
        dialogs->answers = {TDialogs::Answer::No, TDialogs::Answer::Yes};
        RenderPosterWith({{60, 40, false, 5, Path("poster.png")}, {60, 40, false, 5, Path("poster.png")}});
        QCOMPARE(dialogs->shown.size(), std::size_t{2});
        QCOMPARE(dialogs->shown[0].text, QString("poster.png already exists.\nDo you want to replace it?"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QCOMPARE(Slurp(Path("poster.png")).left(4), QByteArray("\x89PNG"));
        QCOMPARE(StatusPanel(w, 1)->text(), "Poster saved to " + Path("poster.png"));
        Find<TfrmPoster>(w, "frmPoster")->ResetSize(550, 364);
        QVERIFY(Find<TfrmPoster>(w, "frmPoster")->edFile->text().isEmpty());
        // A name without a known extension gets the chosen type's.
        RenderPosterWith({{60, 40, false, 5, Path("untyped")}});
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QCOMPARE(Slurp(Path("untyped.bmp")).left(2), QByteArray("BM"));
    }

    // A full disk after the rendering keeps the poster for another file.
    void aPosterThatCannotBeWrittenIsKeptForAnotherFile() {
        Render();
        FailTheFirstWrite();
        dialogs->fileAnswers.push_back(TFileChoice{Path("elsewhere.bmp"), 1});
        RenderPosterWith({{60, 40, true, 5, Path("full.bmp")}});
        QTRY_VERIFY_WITH_TIMEOUT(dialogs->shown.size() == 1, 60000);
        QVERIFY(dialogs->shown[0].text.startsWith("The poster could not be written (" + Path("full.bmp")));
        QVERIFY(dialogs->shown[0].text.contains("No space left on device"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 60000);
        QCOMPARE(Slurp(Path("elsewhere.bmp")).left(2), QByteArray("BM"));
        QVERIFY(!QFile::exists(Path("full.bmp")));
    }

    // Cancel, and closing the window while a poster renders: nothing is written.
    void cancelAndTheCloseQueryStopAPoster() {
        Render();
        RenderPoster(Path("big.bmp"), 3000, 3000, false, 100000);
        QVERIFY(w->Workers().Find<TPosterWorker>());
        // Enter, say one pressed too many in the file dialog, does not throw the rendering away.
        auto* progress = Find<QDialog>(w, "frmPosterProgress");
        QTest::keyClick(progress, Qt::Key_Return);
        QVERIFY(progress->findChild<QPushButton*>("btnCancel")->isEnabled());
        progress->findChild<QPushButton*>("btnCancel")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TPosterWorker>(), 20000);
        QVERIFY(!QFile::exists(Path("big.bmp")));

        RenderPoster(Path("big.bmp"), 3000, 3000, false, 100000);
        dialogs->answers = {TDialogs::Answer::No};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.back().title, QString("Fernweave"));
        QCOMPARE(dialogs->shown.back().text, QString("A poster is still being rendered. Stop it and quit?"));
        QVERIFY(dialogs->shown.back().buttons == TDialogs::Buttons::YesNo);
        QVERIFY(dialogs->shown.back().icon == TDialogs::Icon::Warning);
        QVERIFY(w->Workers().Find<TPosterWorker>());
        // Yes, then Cancel to the save question: the poster goes on.
        dialogs->answers = {TDialogs::Answer::Yes, TDialogs::Answer::Cancel};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QVERIFY(w->Workers().Find<TPosterWorker>());
        QVERIFY(!Find(w, "mnuFilePoster")->isEnabled());
        // Yes stops it once the close query is settled: the unsaved canvas asks, No closes.
        dialogs->answers = {TDialogs::Answer::Yes, TDialogs::Answer::No};
        QVERIFY(w->close());
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QVERIFY(!w->Workers().Find<TPosterWorker>());
        QVERIFY(!QFile::exists(Path("big.bmp")));
    }
};

QTEST_MAIN(PosterCommandTest)
#include "poster_command_test.moc"
