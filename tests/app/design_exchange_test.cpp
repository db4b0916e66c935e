// Designs of other programs through the window: Import and Export with their
// new types, the list of a file with several entries, pictures with objects.
#include <QFile>
#include <QListWidget>
#include <QtTest>

#include "canvas_image.h"
#include "design_file.h"
#include "entry_chooser.h"
#include "flame_file.h"
#include "ifs_text.h"
#include "object_file.h"
#include "png_codec.h"
#include "window_fixture.h"

using namespace fernweave;

namespace {

// Barnsley's fern, Heighway's dragon and a 3D fern, typed from their published coefficients.
const char* const Classics =
    "fern { ; Barnsley\n 0 0 0 .16 0 0 .01\n .85 .04 -.04 .85 0 1.6 .85\n .2 -.26 .23 .22 0 1.6 .07\n"
    " -.15 .28 .26 .24 0 .44 .07\n}\n"
    "dragon { .5 -.5 .5 .5 0 0 .5\n -.5 -.5 .5 -.5 1 0 .5 }\n"
    "fern3d (3D) { .85 0 0 0 .85 .1 0 -.1 .85 0 1.6 0 1 }\n";

QByteArray Slurp(const QString& name) {
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void Spit(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

std::span<const std::uint8_t> Span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.data()), static_cast<std::size_t>(b.size())};
}

}  // namespace

class DesignExchangeTest : public QObject, TWindowTest {
    Q_OBJECT

    void Choose(const QString& name, int type = 1) { dialogs->fileAnswers.push_back(TFileChoice{name, type}); }
    const TFakeDialogs::Shown& Last() const { return dialogs->shown.back(); }

    void ClickTriangle(const TTriangle& t) {
        for (const TPoint& p : t) {
            QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), QPoint(p.x, p.y));
            QTest::mousePress(Find<TCanvasImage>(w, "imgPaint"), Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
        }
    }

private slots:
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { CloseWindow(); }

    void aFileOfSeveralEntriesOpensTheListThenWaitsForThePlacement() {
        Spit(Path("classics.txt"), Classics);
        std::vector<std::string> listed;
        std::optional<std::size_t> answer = 1;
        w->Hooks().ChooseEntry = [&](const DesignFile& file, const QString&) {
            listed.clear();
            for (const auto& e : file.List()) listed.push_back(e.Name);
            return answer;
        };
        Choose(Path("classics.txt"), 2);
        Invoke(w, "mnuFileImportClick");
        const TFileRequest& asked = dialogs->filesAsked.back();
        QCOMPARE(asked.Filters, (QStringList{"IFS Object File(*.ifs)", "IFS Text File (*.ifs *.txt)",
                                             "Flame (*.flame *.flam3)", "Picture with Object (*.png)"}));
        QCOMPARE(asked.FilterIndex, 1);
        QCOMPARE(listed, (std::vector<std::string>{"fern", "dragon", "fern3d (3D)"}));
        QVERIFY(dialogs->shown.empty());
        QVERIFY(state->ObjectImported);
        QCOMPARE(state->MapCount, 2);
        QCOMPARE(StatusPanel(w, 1)->text(), QString("Draw a triangle to render the object"));

        // Placed as an imported object is: three clicks, and it renders.
        ClickTriangle(state->BaseTriangle);
        QVERIFY(state->Rendering);
        QTRY_VERIFY_WITH_TIMEOUT(state->PaintedBits.Size() > 0, 20000);
        Invoke(w, "mnuRenderStopClick");
        QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive(), 20000);

        // The 3D entry is listed, but refused; a cancelled list changes nothing.
        const TIfsObject before = state->CurrentObject();
        answer = 2;
        Choose(Path("classics.txt"));
        Invoke(w, "mnuFileImportClick");
        QCOMPARE(Last().text, QString("fern3d (3D) is a 3D IFS; Fernweave draws 2D IFS only"));
        QCOMPARE(Last().title, QString("Import Object"));
        QVERIFY(!state->ObjectImported);
        QVERIFY(state->CurrentObject() == before);
        answer.reset();
        Choose(Path("classics.txt"));
        Invoke(w, "mnuFileImportClick");
        QVERIFY(!state->ObjectImported);
        QVERIFY(state->CurrentObject() == before);
    }

    void aBrokenTextFileSaysWhereAndChangesNothing() {
        Spit(Path("broken.ifs"), "leaf {\n .5 0 0 .5 0 0 .5\n .5 0 0 .5 1 0\n}\n");
        Choose(Path("broken.ifs"));
        Invoke(w, "mnuFileImportClick");
        QCOMPARE(Last().text, QString("Entry \"leaf\", line 3: a row needs 7 numbers."));
        QVERIFY(!state->ObjectImported);
        QCOMPARE(state->MapCount, 0);
    }

    void exportWritesTheChosenTypeAndThePictureComesBack() {
        Render();
        const TIfsObject drawn = state->CurrentObject();
        Choose(Path("tri.txt"), 2);
        Invoke(w, "mnuFileExportClick");
        QCOMPARE(dialogs->filesAsked.back().Filters.size(), 4);
        const auto text = ParseIfsText(Slurp(Path("tri.txt")).toStdString());
        QVERIFY2(text.Ok(), text.Error.c_str());
        QCOMPARE(text.Entries[0].Name, std::string("tri"));
        QCOMPARE(text.Entries[0].Rows.size(), std::size_t{3});

        Choose(Path("tri.flame"), 3);
        Invoke(w, "mnuFileExportClick");
        const auto flames = ParseFlames(Slurp(Path("tri.flame")).toStdString());
        QVERIFY2(flames.Ok(), flames.Error.c_str());
        QCOMPARE(flames.Flames[0].Affine.Maps.size(), std::size_t{3});

        Choose(Path("tri.png"), 4);
        Invoke(w, "mnuFileExportClick");
        QVERIFY(dialogs->shown.empty());
        const QByteArray png = Slurp(Path("tri.png"));
        QVERIFY(DecodePng(Span(png)));
        // Imported again: the same object, waiting for its placement.
        state->MapCount = 1;
        Choose(Path("tri.png"), 4);
        Invoke(w, "mnuFileImportClick");
        QVERIFY(dialogs->shown.empty());
        QVERIFY(state->ObjectImported);
        QVERIFY(state->CurrentObject() == drawn);
    }

    void savedPngPicturesCarryTheObject() {
        Render();
        Choose(Path("saved.png"), 3);
        QVERIFY(w->SavePicture());
        QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TSavePicture>(), 20000);
        const auto object = PngObjectBytes(Span(Slurp(Path("saved.png"))));
        QVERIFY(object);
        QVERIFY(*object == EncodeObject(state->CurrentObject()));
    }

    void aTextFileFromOutsideIsRenderedAtOnce() {
        Spit(Path("dragon.ifs"), "dragon { .5 -.5 .5 .5 0 0 .5\n -.5 -.5 .5 -.5 1 0 .5 }\n");
        w->OpenFile(Path("dragon.ifs"));
        QVERIFY(state->Rendering);
        QCOMPARE(state->MapCount, 2);
        Invoke(w, "mnuRenderStopClick");
        QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive(), 20000);
    }

    void theListShowsEachEntryWithItsPreview() {
        const DesignFile file = ReadDesign(Classics);
        TfrmChooseEntry chooser(file, "classics.txt");
        QCOMPARE(chooser.List()->count(), 3);
        QCOMPARE(chooser.List()->item(0)->text(), QString("fern\n4 maps, 2D IFS"));
        QCOMPARE(chooser.List()->item(2)->text(), QString("fern3d (3D)\n1 map, 3D IFS"));
        // A drawn preview for a 2D entry, an empty one for the 3D entry.
        const QImage fern = EntryPreview(file, 0, 64), solid = EntryPreview(file, 2, 64);
        int lit = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) lit += fern.pixel(x, y) != qRgb(0, 0, 0);
        QVERIFY(lit > 100);
        QCOMPARE(solid.pixel(32, 32), qRgb(0, 0, 0));
        chooser.List()->setCurrentRow(1);
        chooser.accept();
        QCOMPARE(chooser.Chosen(), std::optional<std::size_t>(1));
    }
};

QTEST_MAIN(DesignExchangeTest)
#include "design_exchange_test.moc"
