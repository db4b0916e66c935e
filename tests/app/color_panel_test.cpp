#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>
#include <deque>

#include "color_panel.h"
#include "fake_dialogs.h"
#include "main_window.h"
#include "window_fixture.h"
#include "resources.h"

using namespace fernweave;

namespace {

// Keeps leave events from an image, as when the pointer leaves faster than the window hears of it.
class TSwallowLeave : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Leave; }
};

const TColor Red = MakeColor(200, 10, 20);
const TColor Blue = MakeColor(5, 30, 220);
QImage EmptyGrid() { return QImage(":/PANEL").convertToFormat(QImage::Format_RGB32); }

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
        QTest::mouseClick(w, button, Qt::NoModifier, QPoint(x, y));
    }
    bool ProbeShows() const {
        return panel->pnlDropColor->isVisible() && panel->lblRed->isVisible() && panel->lblBlue->isVisible();
    }
    bool ProbeHidden() const { return panel->pnlDropColor->isHidden() && panel->lblGreen->isHidden(); }
    QString ProbeText() const {
        return panel->lblRed->text() + "," + panel->lblGreen->text() + "," + panel->lblBlue->text();
    }
    static QString TextOf(TColor c) { return QString("R %1,G %2,B %3").arg(RedOf(c)).arg(GreenOf(c)).arg(BlueOf(c)); }
    TColor PixelOf(const TPanelImage* image, int x, int y) const {
        const QRgb rgb = image->Image().pixel(x, y);
        return MakeColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
    }
    QPoint Elsewhere() const { return panel->mapToGlobal(QPoint(74, 130)); }  // on neither image

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

    void startsAsAFreshRun() {
        QCOMPARE(panel->ForeColor(), clWhite);
        QCOMPARE(panel->BackColor(), clBlack);
        QVERIFY(panel->cbDiffuse->isChecked());
        QVERIFY(ProbeHidden());
        QCOMPARE(panel->childAt(40, 150), panel->shpFore);  // lies over the top-left of shpBack
        QCOMPARE(panel->childAt(55, 165), panel->shpBack);
        // "Diffuse" shows whole inside its frame.
        QStyleOptionButton option;
        option.initFrom(panel->cbDiffuse);
        const QRect text = panel->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, panel->cbDiffuse);
        QVERIFY(text.width() >= panel->cbDiffuse->fontMetrics().horizontalAdvance("Diffuse"));
        QVERIFY(panel->Bevel5->geometry().contains(panel->cbDiffuse->geometry()));
        QVERIFY(panel->Bevel3->y() >= panel->Bevel5->geometry().bottom());
    }

    void theSpectrumShowsAndGivesThePixelUnderThePointer() {
        Move(panel->imgColor, 0, 50);
        QVERIFY(ProbeShows());
        QCOMPARE(ProbeText(), QString("R 0,G 0,B 0"));  // black at the left edge
        Move(panel->imgColor, 45, 60);
        const TColor under = PixelOf(panel->imgColor, 45, 60);
        QCOMPARE(panel->ProbeColor(), under);
        QCOMPARE(ProbeText(), TextOf(under));
        Press(panel->imgColor, 45, 60, Qt::RightButton);  // any button acts
        QCOMPARE(panel->ForeColor(), under);
        QCOMPARE(panel->BackColor(), clBlack);
        // A drag reports points outside the image: they change nothing.
        panel->imgColor->MouseMove(QPoint(-5, 200));
        panel->imgColor->MouseDown(QPoint(62, 3));
        QCOMPARE(panel->ProbeColor(), under);
        QCOMPARE(panel->ForeColor(), under);
    }

    void theGridActsOnlyOnCellInsides() {
        panel->SetForeColor(Red);
        panel->FillColorCell(1);
        Move(panel->imgGrid, 5, 5);
        QCOMPARE(ProbeText(), TextOf(Red));
        for (const QPoint p : {QPoint(2, 5), QPoint(9, 9), QPoint(5, 12), QPoint(61, 50)}) {  // outlines and gaps
            Move(panel->imgGrid, p.x(), p.y());
            Press(panel->imgGrid, p.x(), p.y(), Qt::MiddleButton);
            QCOMPARE(ProbeText(), TextOf(Red));
        }
        panel->SetForeColor(Blue);
        Press(panel->imgGrid, 2, 2);
        QCOMPARE(panel->ForeColor(), Blue);
        Move(panel->imgGrid, 25, 47);
        Press(panel->imgGrid, 25, 47);  // an empty cell
        QCOMPARE(panel->ForeColor(), clWhite);
    }

    void theProbeHidesWhenThePointerIsOverNeitherImage() {
        Move(panel->imgColor, 30, 30);
        QCursor::setPos(panel->imgGrid->mapToGlobal(QPoint(30, 30)));
        panel->ApplicationIdle();
        QVERIFY(ProbeShows());
        QCursor::setPos(Elsewhere());
        panel->ApplicationIdle();
        QVERIFY(ProbeHidden());

        Move(panel->imgColor, 30, 30);
        QCursor::setPos(Elsewhere());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(panel->imgColor, &leave);
        QVERIFY(ProbeHidden());

        // With no event reaching the images the panel checks by itself while the probe shows.
        Move(panel->imgGrid, 5, 5);
        TSwallowLeave swallow;
        panel->imgGrid->installEventFilter(&swallow);
        QCursor::setPos(Elsewhere());
        QTRY_VERIFY(ProbeHidden());
    }

    void fillColorCellFillsExactlyTheInside() {
        panel->SetForeColor(Blue);
        for (const auto& [n, inside] : {std::pair{1, QRect(3, 3, 6, 6)}, {8, QRect(13, 13, 6, 6)}, {60, QRect(53, 93, 6, 6)}}) {
            const QImage before = panel->imgGrid->Image();
            panel->FillColorCell(n);
            int changed = 0;
            for (int y = 0; y < before.height(); ++y)
                for (int x = 0; x < before.width(); ++x)
                    if (before.pixel(x, y) != panel->imgGrid->Image().pixel(x, y)) {
                        ++changed;
                        QVERIFY(inside.contains(x, y) && PixelOf(panel->imgGrid, x, y) == Blue);
                    }
            QCOMPARE(changed, 36);
        }
        const QImage before = panel->imgGrid->Image();
        panel->FillColorCell(61);
        panel->FillColorCell(0);
        QCOMPARE(panel->imgGrid->Image(), before);
        panel->ResetColorGrid();
        QCOMPARE(panel->imgGrid->Image(), EmptyGrid());
    }

    void swappingTwiceRestoresBothColours() {
        panel->SetForeColor(Red);
        panel->SetBackColor(Blue);
        Press(panel->imgSwap);
        QVERIFY(panel->ForeColor() == Blue && panel->BackColor() == Red);
        Press(panel->imgSwap);
        QVERIFY(panel->ForeColor() == Red && panel->BackColor() == Blue);
        QCOMPARE(backgrounds, (std::vector<TColor>{Red, Blue}));
    }

    void theLockBlocksOnlyTheBackground() {
        locked = true;
        answers = {Red, Red};
        Press(panel->shpBack);
        Press(panel->imgSwap);
        QVERIFY(asked.empty() && backgrounds.empty());
        QCOMPARE(panel->BackColor(), clBlack);
        Press(panel->shpFore);
        QCOMPARE(asked, std::vector<TColor>{clWhite});
        QCOMPARE(panel->ForeColor(), Red);

        locked = false;
        Press(panel->shpBack);
        QCOMPARE(asked, (std::vector<TColor>{clWhite, clBlack}));
        QCOMPARE(panel->BackColor(), Red);
        QCOMPARE(backgrounds, std::vector<TColor>{Red});
        Press(panel->shpFore);  // cancelled: nothing changes
        Press(panel->shpBack);
        QCOMPARE(asked.size(), std::size_t(4));
        QVERIFY(panel->ForeColor() == Red && panel->BackColor() == Red && backgrounds.size() == 1);
    }

    void theMainWindowUsesThePanel() {
        FractalState state;
        TFakeDialogs dialogs;
        TfrmMain w(state, dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(Find<QCheckBox>(&w, "cbDiffuse"), Find<TColorPanel>(&w, "pnlColor")->cbDiffuse);
        state.PointCount = 3;  // a drawing, a loaded picture and a rendering lock the background
        Press(Find<TColorPanel>(&w, "pnlColor")->imgSwap);
        state.PointCount = 0;
        state.PictureLoaded = true;
        Press(Find<TColorPanel>(&w, "pnlColor")->imgSwap);
        Press(Find<TColorPanel>(&w, "pnlColor")->shpBack);
        QCOMPARE(Find<TColorPanel>(&w, "pnlColor")->BackColor(), clBlack);
        QVERIFY(dialogs.colorsAsked.empty());
        state.PictureLoaded = false;
        Press(Find<TColorPanel>(&w, "pnlColor")->imgSwap);
        QCOMPARE(Find<TColorPanel>(&w, "pnlColor")->BackColor(), clWhite);
        QCOMPARE(w.Canvas().Pixel(0, 0), clWhite);  // the canvas took the new background

        dialogs.colorAnswers = {QColor(10, 20, 30)};
        state.Rendering = true;
        Press(Find<TColorPanel>(&w, "pnlColor")->imgSwap);
        Press(Find<TColorPanel>(&w, "pnlColor")->shpBack);
        Press(Find<TColorPanel>(&w, "pnlColor")->shpFore);  // only this one asks
        state.Rendering = false;
        QCOMPARE(dialogs.colorsAsked, std::vector<QColor>{QColor(Qt::black)});
        QCOMPARE(Find<TColorPanel>(&w, "pnlColor")->BackColor(), clWhite);
        QCOMPARE(Find<TColorPanel>(&w, "pnlColor")->ForeColor(), MakeColor(10, 20, 30));
        Find<TColorPanel>(&w, "pnlColor")->FillColorCell(1);
        w.CancelDrawingOnCanvas();
        QCOMPARE(Find<TColorPanel>(&w, "pnlColor")->imgGrid->Image(), EmptyGrid());
    }
};

QTEST_MAIN(ColorPanelTest)
#include "color_panel_test.moc"
