#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>
#include <deque>
#include <vector>

#include "color_panel.h"
#include "fake_dialogs.h"
#include "main_window.h"
#include "resources.h"

using namespace fernweave;

namespace {

TColor PixelOf(const TPanelImage* image, QPoint p) {
    const QRgb rgb = image->Image().pixel(p);
    return MakeColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

// The pixels where two images differ.
std::vector<QPoint> Changed(const QImage& a, const QImage& b) {
    std::vector<QPoint> out;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) out.emplace_back(x, y);
    return out;
}

// Keeps leave events from an image, as when the pointer leaves faster than the window hears of it.
class TSwallowLeave : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Leave; }
};

const TColor Red = MakeColor(200, 10, 20);
const TColor Blue = MakeColor(5, 30, 220);

}  // namespace

class ColorPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TColorPanel> panel;
    bool locked = false;
    std::vector<TColor> backgrounds;  // what BackgroundChanged reported
    std::vector<TColor> asked;        // the preset of each colour dialog
    std::deque<std::optional<TColor>> answers;

    void Move(QWidget* w, int x, int y) { QTest::mouseMove(w, QPoint(x, y)); }
    void Press(QWidget* w, int x = 1, int y = 1, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(w, button, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(w, button, Qt::NoModifier, QPoint(x, y));
    }
    bool ProbeShows() const {
        return panel->pnlDropColor->isVisible() && panel->lblRed->isVisible() && panel->lblGreen->isVisible() &&
               panel->lblBlue->isVisible();
    }
    bool ProbeHidden() const {
        return panel->pnlDropColor->isHidden() && panel->lblRed->isHidden() && panel->lblGreen->isHidden() &&
               panel->lblBlue->isHidden();
    }
    void CompareProbe(TColor c) {
        QCOMPARE(panel->ProbeColor(), c);
        QCOMPARE(panel->pnlDropColor->palette().color(QPalette::Window), QColor(RedOf(c), GreenOf(c), BlueOf(c)));
        QCOMPARE(panel->lblRed->text(), QString("R %1").arg(RedOf(c)));
        QCOMPARE(panel->lblGreen->text(), QString("G %1").arg(GreenOf(c)));
        QCOMPARE(panel->lblBlue->text(), QString("B %1").arg(BlueOf(c)));
    }
    // A point of the panel on neither image.
    QPoint Elsewhere() const { return panel->mapToGlobal(QPoint(74, 130)); }

private slots:
    void initTestCase() { LoadProgramResources(); }

    void init() {
        locked = false;
        backgrounds.clear();
        asked.clear();
        answers.clear();
        panel = std::make_unique<TColorPanel>(QCursor(Qt::CrossCursor));
        panel->resize(78, 400);
        panel->BackgroundLocked = [this] { return locked; };
        panel->BackgroundChanged = [this](TColor c) { backgrounds.push_back(c); };
        panel->ChooseColor = [this](TColor initial) {
            asked.push_back(initial);
            std::optional<TColor> a;
            if (!answers.empty()) {
                a = answers.front();
                answers.pop_front();
            }
            return a;
        };
        QCursor::setPos(Elsewhere());
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    }

    void cleanup() { panel.reset(); }

    void startsAsAFreshRun() {
        QCOMPARE(panel->width(), 78);
        QCOMPARE(panel->ForeColor(), clWhite);
        QCOMPARE(panel->BackColor(), clBlack);
        QVERIFY(panel->cbDiffuse->isChecked());
        QCOMPARE(panel->cbDiffuse->text(), QString("Diffuse"));
        QVERIFY(ProbeHidden());
        QCOMPARE(panel->imgColor->geometry(), QRect(8, 9, 62, 106));
        QCOMPARE(panel->imgColor->Image().size(), QSize(62, 106));
        QCOMPARE(panel->imgGrid->size(), QSize(62, 102));
        QCOMPARE(panel->imgGrid->Image().size(), QSize(62, 102));
        // The foreground swatch lies over the top-left of the background swatch.
        QCOMPARE(panel->childAt(40, 150), panel->shpFore);
        QCOMPARE(panel->childAt(55, 165), panel->shpBack);
        // The swap arrow shows the panel through its white.
        const QImage& swap = panel->imgSwap->Image();
        int clear = 0, solid = 0;
        for (int y = 0; y < swap.height(); ++y)
            for (int x = 0; x < swap.width(); ++x) (qAlpha(swap.pixel(x, y)) == 0 ? clear : solid)++;
        QVERIFY(clear > 0 && solid > 0);
        // "Diffuse" shows whole inside its frame, and the rows below make room for it.
        QStyleOptionButton option;
        option.initFrom(panel->cbDiffuse);
        const QRect text = panel->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, panel->cbDiffuse);
        QVERIFY(text.width() >= panel->cbDiffuse->fontMetrics().horizontalAdvance("Diffuse"));
        QVERIFY(panel->Bevel5->geometry().contains(panel->cbDiffuse->geometry()));
        QVERIFY(panel->Bevel3->geometry().contains(panel->imgGrid->geometry()));
        QVERIFY(panel->Bevel3->y() >= panel->Bevel5->geometry().bottom());
    }

    void probeShowsTheSpectrumPixelUnderThePointer() {
        Move(panel->imgColor, 0, 50);
        QVERIFY(ProbeShows());
        CompareProbe(clBlack);  // the left edge is black: "R 0", "G 0", "B 0"
        for (const QPoint p : {QPoint(31, 0), QPoint(40, 70), QPoint(61, 105)}) {
            Move(panel->imgColor, p.x(), p.y());
            CompareProbe(PixelOf(panel->imgColor, p));
        }
        QCOMPARE(panel->lblRed->text(), QString("R 255"));  // the right edge is white
    }

    void gridProbeReadsOnlyCellInsides() {
        panel->SetForeColor(Red);
        panel->FillColorCell(1);
        Move(panel->imgGrid, 5, 5);
        QVERIFY(ProbeShows());
        CompareProbe(Red);
        for (const QPoint outline : {QPoint(2, 5), QPoint(9, 9), QPoint(5, 12), QPoint(60, 5), QPoint(61, 101)}) {
            Move(panel->imgGrid, outline.x(), outline.y());
            CompareProbe(Red);
        }
        Move(panel->imgGrid, 13, 8);  // the next cell, empty
        QVERIFY(ProbeShows());
        CompareProbe(clWhite);
    }

    void probeHidesWhenThePointerIsOverNeitherImage() {
        Move(panel->imgColor, 30, 30);
        QVERIFY(ProbeShows());
        QCursor::setPos(panel->imgGrid->mapToGlobal(QPoint(30, 30)));
        panel->ApplicationIdle();
        QVERIFY(ProbeShows());
        QCursor::setPos(Elsewhere());
        panel->ApplicationIdle();
        QVERIFY(ProbeHidden());

        // A leave event hides it at once.
        Move(panel->imgColor, 30, 30);
        QVERIFY(ProbeShows());
        QCursor::setPos(Elsewhere());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(panel->imgColor, &leave);
        QVERIFY(ProbeHidden());

        // With no event reaching the images the panel checks by itself while the probe shows.
        Move(panel->imgGrid, 5, 5);
        QVERIFY(ProbeShows());
        TSwallowLeave swallow;
        panel->imgGrid->installEventFilter(&swallow);
        QCursor::setPos(Elsewhere());
        QTRY_VERIFY(ProbeHidden());
    }

    void aMoveOffTheImageDuringADragChangesNothing() {
        panel->imgColor->MouseMove(QPoint(-5, 200));  // a held button keeps reporting outside
        QVERIFY(ProbeHidden());
        panel->imgColor->MouseDown(QPoint(62, 3));
        QCOMPARE(panel->ForeColor(), clWhite);
    }

    void aSpectrumPressTakesTheProbeColour() {
        const QPoint p(45, 60);
        Move(panel->imgColor, p.x(), p.y());
        Press(panel->imgColor, p.x(), p.y(), Qt::RightButton);  // any button acts
        QCOMPARE(panel->ForeColor(), PixelOf(panel->imgColor, p));
        QCOMPARE(panel->ForeColor(), panel->ProbeColor());
        QCOMPARE(panel->BackColor(), clBlack);
    }

    void aGridPressActsOnlyOnCellInsides() {
        panel->SetForeColor(Red);
        Move(panel->imgGrid, 2, 2);
        Press(panel->imgGrid, 2, 2);  // an outline
        QCOMPARE(panel->ForeColor(), Red);
        Move(panel->imgGrid, 61, 50);
        Press(panel->imgGrid, 61, 50, Qt::MiddleButton);  // the gap at the right
        QCOMPARE(panel->ForeColor(), Red);
        Move(panel->imgGrid, 25, 47);
        Press(panel->imgGrid, 25, 47);  // an empty cell
        QCOMPARE(panel->ForeColor(), clWhite);
    }

    void fillColorCellFillsExactlyTheInside() {
        panel->SetForeColor(Blue);
        struct Case {
            int n;
            QRect inside;
        };
        for (const Case c : {Case{1, QRect(3, 3, 6, 6)}, Case{8, QRect(13, 13, 6, 6)}, Case{60, QRect(53, 93, 6, 6)}}) {
            const QImage before = panel->imgGrid->Image();
            panel->FillColorCell(c.n);
            const std::vector<QPoint> changed = Changed(before, panel->imgGrid->Image());
            QCOMPARE(changed.size(), std::size_t(36));
            for (const QPoint p : changed) {
                QVERIFY(c.inside.contains(p));
                QCOMPARE(PixelOf(panel->imgGrid, p), Blue);
            }
        }
        const QImage before = panel->imgGrid->Image();
        panel->FillColorCell(61);
        panel->FillColorCell(0);
        QCOMPARE(panel->imgGrid->Image(), before);

        panel->ResetColorGrid();
        QCOMPARE(panel->imgGrid->Image(), QImage(":/PANEL").convertToFormat(QImage::Format_RGB32));
    }

    void swappingTwiceRestoresBothColours() {
        panel->SetForeColor(Red);
        panel->SetBackColor(Blue);
        Press(panel->imgSwap);
        QCOMPARE(panel->ForeColor(), Blue);
        QCOMPARE(panel->BackColor(), Red);
        Press(panel->imgSwap);
        QCOMPARE(panel->ForeColor(), Red);
        QCOMPARE(panel->BackColor(), Blue);
        QCOMPARE(backgrounds, (std::vector<TColor>{Red, Blue}));
        QVERIFY(asked.empty());
    }

    void theLockBlocksTheBackgroundButNeverTheForeground() {
        panel->SetForeColor(Red);
        panel->SetBackColor(Blue);
        locked = true;
        answers = {clWhite, clWhite, MakeColor(1, 2, 3)};
        Press(panel->shpBack);
        Press(panel->imgSwap);
        QVERIFY(asked.empty());
        QVERIFY(backgrounds.empty());
        QCOMPARE(panel->ForeColor(), Red);
        QCOMPARE(panel->BackColor(), Blue);

        answers = {MakeColor(1, 2, 3)};
        Press(panel->shpFore);
        QCOMPARE(asked, std::vector<TColor>{Red});
        QCOMPARE(panel->ForeColor(), MakeColor(1, 2, 3));
        QCOMPARE(panel->BackColor(), Blue);
    }

    void theBackgroundSwatchAsksAndReports() {
        panel->SetBackColor(Blue);
        answers = {Red};
        Press(panel->shpBack);
        QCOMPARE(asked, std::vector<TColor>{Blue});
        QCOMPARE(panel->BackColor(), Red);
        QCOMPARE(backgrounds, std::vector<TColor>{Red});
        QCOMPARE(panel->ForeColor(), clWhite);
    }

    void aCancelledDialogChangesNothing() {
        Press(panel->shpFore);
        Press(panel->shpBack);
        QCOMPARE(asked, (std::vector<TColor>{clWhite, clBlack}));
        QCOMPARE(panel->ForeColor(), clWhite);
        QCOMPARE(panel->BackColor(), clBlack);
        QVERIFY(backgrounds.empty());
    }

    // The main window: its colours are the swatches, its state locks the background.
    void theMainWindowUsesThePanel() {
        FractalState state;
        TFakeDialogs dialogs;
        TfrmMain w(state, dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.cbDiffuse, w.pnlColor->cbDiffuse);

        state.PointCount = 3;
        Press(w.pnlColor->imgSwap);
        Press(w.pnlColor->shpBack);
        QVERIFY(dialogs.colorsAsked.empty());
        QCOMPARE(TColor(w.BackColor), clBlack);
        state.PointCount = 0;
        state.PictureLoaded = true;
        Press(w.pnlColor->imgSwap);
        QCOMPARE(TColor(w.BackColor), clBlack);
        state.PictureLoaded = false;

        Press(w.pnlColor->imgSwap);
        QCOMPARE(TColor(w.BackColor), clWhite);
        QCOMPARE(TColor(w.ForeColor), clBlack);
        QCOMPARE(w.Canvas().Pixel(0, 0), clWhite);  // the canvas took the new background

        dialogs.colorAnswers = {QColor(10, 20, 30)};
        state.Rendering = true;
        Press(w.pnlColor->shpFore);
        state.Rendering = false;
        QCOMPARE(dialogs.colorsAsked, std::vector<QColor>{QColor(Qt::black)});
        QCOMPARE(w.pnlColor->ForeColor(), MakeColor(10, 20, 30));
        w.ForeColor = Red;
        QCOMPARE(w.pnlColor->ForeColor(), Red);

        w.pnlColor->FillColorCell(1);
        w.CancelDrawingOnCanvas();  // empties the colour grid
        QCOMPARE(w.pnlColor->imgGrid->Image(), QImage(":/PANEL").convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(ColorPanelTest)
#include "color_panel_test.moc"
