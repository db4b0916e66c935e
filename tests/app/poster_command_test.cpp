#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
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

    // Runs the command, filling in the dialog once it shows; the file dialog answers `file`.
    void RenderPoster(const QString& file, int width, int height, bool density, int hits) {
        dialogs->fileAnswers.push_back(TFileChoice{file, 1});
        QTimer::singleShot(0, w, [this, width, height, density, hits] {
            QTRY_VERIFY(w->frmPoster && w->frmPoster->isVisible());
            TfrmPoster* d = w->frmPoster;
            d->edWidth->setValue(width);
            d->edHeight->setValue(height);
            d->edResolution->setValue(150);
            d->cbShading->setCurrentIndex(density ? 1 : 0);
            d->edSupersample->setValue(2);
            d->edHits->setValue(hits);
            d->edFile->clear();
            d->btnOk->click();  // no file yet: the save dialog comes first
        });
        w->mnuFilePosterClick();
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
        const int save = items.indexOf(w->mnuFileSave);
        QCOMPARE(items.at(save + 1), w->mnuFilePoster);
        QCOMPARE(w->mnuFilePoster->text(), QString("Render P&oster..."));
        QCOMPARE(w->mnuFilePoster->statusTip(), QString("Render the Object as a Large Picture"));
        QVERIFY(w->mnuFilePoster->shortcut().isEmpty());
        QVERIFY(!w->mnuFilePoster->isEnabled());  // no maps yet
        Render();
        QVERIFY(w->mnuFilePoster->isEnabled());
        state->BeginDrawing();
        state->AddPoint(10, 10, clWhite, true);
        w->UpdateCommands();
        QVERIFY(!w->mnuFilePoster->isEnabled());  // a drawing in progress
    }

    // The poster is the headless renderer's picture of the exported object,
    // placed on the base triangle carried onto the poster; the canvas is untouched.
    void aPosterIsTheHeadlessRenderingOfTheExportedObject() {
        Render();
        w->BackColor = MakeColor(10, 20, 30);
        const Picture24 canvasBefore = w->Canvas();
        const std::uint32_t generatorBefore = state->RandomState;
        RenderPoster(Path("poster.bmp"), 240, 100, true, 30);
        QVERIFY(w->FPosterWorker);
        QVERIFY(!w->mnuFilePoster->isEnabled());  // one poster at a time
        QVERIFY(w->FPosterProgress && w->FPosterProgress->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->FPosterWorker, 60000);
        QVERIFY(w->mnuFilePoster->isEnabled());
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

    void aPosterThatCannotBeWrittenSaysSo() {
        Render();
        RenderPoster(Path("no-such-folder/poster.bmp"), 50, 40, false, 5);
        QTRY_VERIFY_WITH_TIMEOUT(!w->FPosterWorker, 60000);
        QCOMPARE(dialogs->shown.size(), std::size_t{1});
        QCOMPARE(dialogs->shown.back().title, QString("Render Poster"));
        QCOMPARE(dialogs->shown.back().text, QString("Fail to save the picture."));
    }

    // Cancel, and closing the window while a poster renders: nothing is written.
    void cancelAndTheCloseQueryStopAPoster() {
        Render();
        RenderPoster(Path("big.bmp"), 3000, 3000, false, 100000);
        QVERIFY(w->FPosterWorker);
        w->FPosterProgress->findChild<QPushButton*>("btnCancel")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->FPosterWorker, 20000);
        QVERIFY(!QFile::exists(Path("big.bmp")));

        RenderPoster(Path("big.bmp"), 3000, 3000, false, 100000);
        dialogs->answers = {TDialogs::Answer::No};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.back().title, QString("Fernweave"));
        QCOMPARE(dialogs->shown.back().text, QString("A poster is still being rendered. Stop it and quit?"));
        QVERIFY(dialogs->shown.back().buttons == TDialogs::Buttons::YesNo);
        QVERIFY(dialogs->shown.back().icon == TDialogs::Icon::Warning);
        QVERIFY(w->FPosterWorker);
        // Yes stops it, then the close query goes on: the unsaved canvas asks, No closes.
        dialogs->answers = {TDialogs::Answer::Yes, TDialogs::Answer::No};
        QVERIFY(w->close());
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QVERIFY(!w->FPosterWorker);
        QVERIFY(!QFile::exists(Path("big.bmp")));
    }
};

QTEST_MAIN(PosterCommandTest)
#include "poster_command_test.moc"
