#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QtTest>

#include "canvas_image.h"
#include "color_panel.h"
#include "main_window.h"
#include "window_fixture.h"
#include "strokes.h"

using namespace fernweave;

// Drives the real canvas widget: every click falls on the last move position,
// as a hand on a mouse does. The drawing model's own protocol is tested
// without a display (tests/editor).
class CanvasEditingTest : public QObject, TWindowTest {
    Q_OBJECT

    void Move(int x, int y) { QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), QPoint(x, y)); }
    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(Find<TCanvasImage>(w, "imgPaint"), button, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(Find<TCanvasImage>(w, "imgPaint"), button, Qt::NoModifier, QPoint(x, y));
    }
    // Wanders over the canvas on the way to the point, then clicks on it.
    void Click(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        Move((x * 7 + 13) % 500, (y * 3 + 29) % 350);
        Move(x + 1, y);
        Move(x, y);
        Press(x, y, button);
    }
    QString Status() const { return StatusPanel(w, 3)->text(); }
    void WaitReady() { QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("Ready"), 20000); }
    void WaitPainted() {
        QTRY_VERIFY_WITH_TIMEOUT(state->PaintedBits.Size() > 0 && Painted() > 50, 20000);
    }
    int Painted() const {
        int n = 0;
        for (std::size_t i = 0; i < state->PaintedBits.Size(); ++i) n += state->PaintedBits.Test(i);
        return n;
    }
    // A rendered picture to draw over, so that a left-over line would show.
    void RenderSomething() {
        const int pts[] = {275, 20, 40, 340, 510, 340, 275, 20, 158, 180, 392, 180,
                           158, 180, 40, 340, 275, 340, 392, 180, 275, 340, 510, 340};
        for (int i = 0; i < 12; ++i) Click(pts[2 * i], pts[2 * i + 1]);
        Click(300, 300, Qt::RightButton);
        QVERIFY(state->Rendering);
        WaitPainted();
        Click(300, 300, Qt::RightButton);
        WaitReady();
    }

private slots:
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { CloseWindow(); }

    void aWholeDrawingRendersStopsAndUndoes() {
        const Picture24 before = w->Canvas();
        // Base triangle and two maps.
        const int pts[] = {60, 300, 300, 300, 60, 60, 60, 300, 180, 300, 60, 180, 180, 300, 300, 300, 180, 180};
        for (int i = 0; i < 9; ++i) {
            Click(pts[2 * i], pts[2 * i + 1]);
            QCOMPARE(state->PointCount, i + 1);
        }
        QCOMPARE(state->MapCount, 2);
        QVERIFY(!(w->Canvas() == before));  // the outline shows
        Click(400, 100, Qt::RightButton);
        QVERIFY(state->Rendering);
        QCOMPARE(state->PointCount, 0);
        WaitPainted();
        Click(400, 100, Qt::RightButton);  // a right click stops it
        WaitReady();
        QVERIFY(!state->Rendering);
        QVERIFY(Find(w, "mnuEditUndo")->isEnabled());
        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == before);  // outline and band gone, byte for byte
        QCOMPARE(state->MapCount, 0);
    }

    // Between the worker's end and its RenderDone the window still renders:
    // clicks change nothing, closing is refused, and a rendering started right
    // after RenderDone runs on.
    void theEndOfARenderingIsAirtight() {
        std::vector<std::function<void()>> held;
        w->Hooks().RenderEndGate = [&](std::function<void()> done) { held.push_back(std::move(done)); };
        const int first[] = {275, 20, 40, 340, 510, 340, 275, 20, 158, 180, 392, 180,
                             158, 180, 40, 340, 275, 340, 392, 180, 275, 340, 510, 340};
        for (int i = 0; i < 12; ++i) Click(first[2 * i], first[2 * i + 1]);
        Click(300, 300, Qt::RightButton);
        WaitPainted();
        Click(300, 300, Qt::RightButton);
        QTRY_COMPARE_WITH_TIMEOUT(held.size(), std::size_t{1}, 20000);
        QVERIFY(!state->Rendering);  // the worker has ended
        QVERIFY(w->RenderActive() && !w->IsIdle());
        Click(100, 100);
        Click(120, 200, Qt::RightButton);
        QCOMPARE(state->PointCount, 0);
        QVERIFY(!w->close());
        QCOMPARE(Status(), QString("Rendering..."));
        QCOMPARE(Find<TCanvasImage>(w, "imgPaint")->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!Find(w, "mnuEditUndo")->isEnabled() && !Find(w, "mnuEditRedo")->isEnabled());
        QVERIFY(Find(w, "mnuRenderStop")->isEnabled() && !Find(w, "mnuFileNew")->isEnabled());

        held.front()();
        QCOMPARE(Status(), QString("Ready"));
        QVERIFY(Find(w, "mnuEditUndo")->isEnabled() && !Find(w, "mnuEditRedo")->isEnabled());
        QVERIFY(Find<QCheckBox>(w, "cbDiffuse")->isChecked());
        QCOMPARE(Find<TCanvasImage>(w, "imgPaint")->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(w->IsIdle());

        // A second rendering at once, in a colour of its own.
        const TColor second = MakeColor(10, 200, 30);
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(second);
        const int pts[] = {60, 300, 300, 300, 60, 60, 60, 300, 180, 300, 60, 180};
        for (int i = 0; i < 6; ++i) Click(pts[2 * i], pts[2 * i + 1]);
        Click(400, 100, Qt::RightButton);
        QVERIFY(state->Rendering);
        auto shows = [&] {
            const Picture24& c = w->Canvas();
            for (int y = 0; y < c.Height(); ++y)
                for (int x = 0; x < c.Width(); ++x)
                    if (c.Pixel(x, y) == second) return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows(), 20000);
        QVERIFY(state->Rendering && !state->StopRequested);
        QCOMPARE(Status(), QString("Rendering..."));
        Click(400, 100, Qt::RightButton);
        QTRY_COMPARE_WITH_TIMEOUT(held.size(), std::size_t{2}, 20000);
        held.back()();
        QCOMPARE(Status(), QString("Ready"));
        QVERIFY(Find(w, "mnuEditUndo")->isEnabled() && !w->RenderActive());
    }

    void cancelRestoresThePreviousObjectAndTheCanvas() {
        RenderSomething();
        const TIfsObject previous = state->CurrentObject();
        Find(w, "mnuViewShow")->trigger();  // with the grid on
        for (int points : {1, 2, 3, 4, 5, 7, 8, 10}) {
            const Picture24 before = w->Canvas();
            const bool undo = Find(w, "mnuEditUndo")->isEnabled(), redo = Find(w, "mnuEditRedo")->isEnabled();
            for (int i = 0; i < points; ++i) Click(40 + 37 * i % 400, 30 + 53 * i % 300);
            QVERIFY(!(w->Canvas() == before));
            Move(222, 111);  // the band is out
            Click(250, 130, Qt::RightButton);
            QVERIFY2(w->Canvas() == before, qPrintable(QString("%1 points").arg(points)));
            QCOMPARE(state->PointCount, 0);
            QVERIFY(!state->Rendering);
            QVERIFY(state->CurrentObject() == previous);
            QCOMPARE(Find(w, "mnuEditUndo")->isEnabled(), undo);
            QCOMPARE(Find(w, "mnuEditRedo")->isEnabled(), redo);
            QVERIFY(Find(w, "mnuFileExport")->isEnabled());
        }
    }

    void changingTheColourInTheMiddleOfATriangleLeavesNoLine() {
        const Picture24 before = w->Canvas();
        for (int i = 0; i < 3; ++i) Click(50 + 100 * i, 50 + 90 * (i == 1));
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(255, 0, 0));
        Click(60, 60);
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(0, 0, 255));
        Click(120, 60);
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(0, 255, 0));
        Move(90, 140);
        Click(90, 140, Qt::RightButton);  // 5 points: cancelled
        QVERIFY(w->Canvas() == before);

        for (int i = 0; i < 3; ++i) Click(50 + 100 * i, 50 + 90 * (i == 1));
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(255, 0, 0));
        Click(60, 60);
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(0, 0, 255));
        Click(120, 60);
        Find<TColorPanel>(w, "pnlColor")->SetForeColor(MakeColor(0, 255, 0));
        Click(90, 140);
        QCOMPARE(state->Maps[1].Color, MakeColor(0, 255, 0));  // the colour at the completing click
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(state->Rendering);
        Invoke(w, "mnuRenderStopClick");
        WaitReady();
        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == before);
    }

    void theGridComesWithTheFirstClickAndGoesWithTheRendering() {
        const Picture24 before = w->Canvas();
        Find(w, "mnuViewShow")->trigger();
        QVERIFY(Find(w, "mnuViewShow")->isChecked());
        QVERIFY(w->Canvas() == before);  // toggling draws nothing
        Click(30, 30);
        QCOMPARE(w->Canvas().Pixel(30, 100), GridMajorColor);
        QCOMPARE(w->Canvas().Pixel(54, 100), GridMinorColor);
        QVERIFY(!Find(w, "mnuViewShow")->isEnabled());
        for (int i = 0; i < 4; ++i) Click(100 + 30 * i, 200 - 25 * i);
        QVERIFY(!state->Rendering);
        Click(300, 300);
        Click(400, 100, Qt::RightButton);
        QVERIFY(state->Rendering);
        Invoke(w, "mnuRenderStopClick");
        WaitReady();
        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == before);
        QVERIFY(Find(w, "mnuViewShow")->isEnabled());
    }

    void placementOfAnImportedObjectAndItsCancel() {
        RenderSomething();
        const TIfsObject previous = state->CurrentObject();
        // What a successful import leaves: the object before it saved, the new one current.
        state->SaveObject();
        TIfsObject imported = previous;
        imported.BaseTriangle = {TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}};
        state->SetObject(imported);
        state->ObjectImported = true;
        w->ShowInstruction("Draw a triangle to render the object");

        const Picture24 before = w->Canvas();
        Click(300, 40);
        QCOMPARE(state->MapCount, previous.MapCount);  // the imported maps stay
        Click(500, 300);
        Move(200, 200);
        Click(210, 210, Qt::RightButton);
        QVERIFY(w->Canvas() == before);
        QVERIFY(!state->ObjectImported);
        QVERIFY(state->CurrentObject() == previous);
        QVERIFY(w->AutoHint());
        QCOMPARE(StatusPanel(w, 1)->text(), QString());

        // Again, and this time the third click renders the object into the triangle.
        state->SaveObject();
        state->SetObject(imported);
        state->ObjectImported = true;
        w->ShowInstruction("Draw a triangle to render the object");
        Click(300, 40);
        Click(500, 300);
        Click(120, 300);
        QVERIFY(state->Rendering);
        QVERIFY(state->RenderPlacedObject);
        QVERIFY(!state->ObjectImported);
        QVERIFY(w->AutoHint());
        QCOMPARE(StatusPanel(w, 1)->text(), QString());
        QVERIFY(state->BaseTriangle == imported.BaseTriangle);
        WaitPainted();
        Invoke(w, "mnuRenderStopClick");
        WaitReady();
        Find(w, "mnuEditUndo")->trigger();  // Undo brings back the object from before the import
        QVERIFY(state->CurrentObject() == previous);
    }

    void pressesThatDoNothing() {
        const Picture24 before = w->Canvas();
        Click(100, 100, Qt::RightButton);  // nothing to end
        Click(100, 100, Qt::MiddleButton);
        QCOMPARE(state->PointCount, 0);
        QVERIFY(w->Canvas() == before);
        RenderSomething();
        Click(275, 20);
        Click(40, 340);
        Click(510, 340);
        for (int i = 0; i < 3; ++i) Click(100 + i, 100 + 40 * i);
        Click(200, 200, Qt::RightButton);
        QVERIFY(state->Rendering);
        Click(50, 50);  // a left press while rendering is ignored
        QCOMPARE(state->PointCount, 0);
        Click(60, 60, Qt::RightButton);
        WaitReady();
    }

    void positionPanelFollowsTheMouse() {
        // The top-left pixel (QTest takes a null point for the widget's centre).
        QMouseEvent corner(QEvent::MouseMove, QPointF(0, 0),
                           Find<TCanvasImage>(w, "imgPaint")->mapToGlobal(QPointF(0, 0)), Qt::NoButton, Qt::NoButton,
                           Qt::NoModifier);
        QApplication::sendEvent(Find<TCanvasImage>(w, "imgPaint"), &corner);
        QCOMPARE(StatusPanel(w, 5)->text(), QString("(0,0)"));
        Move(120, 45);
        QCOMPARE(StatusPanel(w, 5)->text(), QString("(120,45)"));
        RenderSomething();
        Click(275, 20);
        Click(40, 340);
        Click(510, 340);
        for (int i = 0; i < 3; ++i) Click(100 + i, 100 + 40 * i);
        Click(200, 200, Qt::RightButton);
        Move(321, 123);  // also while rendering
        QCOMPARE(StatusPanel(w, 5)->text(), QString("(321,123)"));
    }

    void theColourGridShowsTheColoursOfTheDrawing() {
        auto cell = [&](int n) {
            const QImage& grid = Find<TColorPanel>(w, "pnlColor")->imgGrid->Image();
            const QColor c = grid.pixelColor(((n - 1) % 6) * 10 + 5, ((n - 1) / 6) * 10 + 5);
            return MakeColor(c.red(), c.green(), c.blue());
        };
        for (int i = 0; i < 3; ++i) Click(50 + 100 * i, 50 + 90 * (i == 1));
        const TColor colors[] = {MakeColor(255, 0, 0), MakeColor(255, 0, 0), MakeColor(0, 0, 255)};
        for (TColor color : colors) {
            Find<TColorPanel>(w, "pnlColor")->SetForeColor(color);
            Click(60, 60);
            Click(120, 60);
            Click(90, 140);
        }
        QCOMPARE(state->MapCount, 3);
        QCOMPARE(state->UsedColorCount, 2);  // the same colour twice fills one cell
        QCOMPARE(cell(1), MakeColor(255, 0, 0));
        QCOMPARE(cell(2), MakeColor(0, 0, 255));
        QCOMPARE(cell(3), clWhite);
        Click(300, 300, Qt::RightButton);  // the rendering starts: the grid empties
        QVERIFY(state->Rendering);
        QCOMPARE(cell(1), clWhite);
        QCOMPARE(state->UsedColorCount, 0);
        Click(300, 300, Qt::RightButton);
        WaitReady();
        // A cancel empties it too.
        for (int i = 0; i < 3; ++i) Click(50 + 100 * i, 50 + 90 * (i == 1));
        Click(60, 60);
        Click(120, 60);
        Click(90, 140);
        QCOMPARE(cell(1), Find<TColorPanel>(w, "pnlColor")->ForeColor());
        Click(200, 210);
        Move(200, 200);
        Click(200, 220, Qt::RightButton);  // 7 points: cancelled
        QVERIFY(!state->Rendering);
        QCOMPARE(cell(1), clWhite);
    }
};

QTEST_MAIN(CanvasEditingTest)
#include "canvas_editing_test.moc"
