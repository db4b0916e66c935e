#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <cmath>
#include <functional>

#include "canvas_image.h"
#include "main_window.h"
#include "object_editor_dialog.h"
#include "renderer.h"
#include "window_fixture.h"

using namespace fernweave;

class ObjectEditorTest : public QObject, TWindowTest {
    Q_OBJECT

    static constexpr std::uint64_t Steps = 200000;

    void Click(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseMove(w->imgPaint, QPoint(x, y));
        QTest::mousePress(w->imgPaint, button, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(w->imgPaint, button, Qt::NoModifier, QPoint(x, y));
    }
    void WaitReady() { QTRY_COMPARE_WITH_TIMEOUT(w->StatusPanels[3]->text(), QString("Ready"), 20000); }

    // Opens Edit Object and lets `act` work the dialog while it runs.
    void EditObject(const std::function<void(TfrmEditObject&)>& act) {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TfrmEditObject*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            act(*dialog);
            acted = true;
        });
        w->mnuEditObject->trigger();
        QVERIFY(acted);
    }
    // Drags vertex `vertex` of triangle `t` by (dx, dy) screen pixels.
    static void DragVertex(TfrmEditObject& d, int t, int vertex, int dx, int dy) {
        const TPoint v = d.Model().TriangleOf(t)[static_cast<std::size_t>(vertex)];
        const QPointF s = d.imgPreview->ToScreen(v.x, v.y);
        const QPoint from(static_cast<int>(std::floor(s.x())), static_cast<int>(std::floor(s.y())));
        QTest::mousePress(d.imgPreview, Qt::LeftButton, Qt::NoModifier, from);
        for (int i = 1; i <= 4; ++i) {
            const QPoint at = from + QPoint(dx * i / 4, dy * i / 4);
            QMouseEvent move(QEvent::MouseMove, at, d.imgPreview->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(d.imgPreview, &move);
        }
        QTest::mouseRelease(d.imgPreview, Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, dy));
    }

    // The drawing rendered without the window onto `canvas`, from generator state `generator`.
    static Picture24 RenderedHeadless(const TEditObject& drawing, std::uint32_t generator, const Picture24& canvas) {
        auto headless = std::make_unique<FractalState>();
        headless->RandomState = generator;
        LoadDrawing(*headless, drawing);
        headless->ResetPaintedBits(static_cast<std::size_t>(canvas.Width() * canvas.Height()));
        Picture24 picture = canvas;
        RenderObject(*headless, picture, {}, Steps);
        return picture;
    }

private slots:
    void init() {
        QVERIFY(OpenWindow());
        w->FRenderStepLimit = Steps;
    }
    void cleanup() { CloseWindow(); }

    void refiningARenderingReplacesItAndUndoBringsItBack() {
        QCOMPARE(w->mnuEditObject->text(), QString("Edit &Object..."));
        QCOMPARE(w->mnuEditObject->shortcut(), QKeySequence("Ctrl+T"));
        QCOMPARE(w->mnuEditObject->statusTip(), QString("Edit the Triangles of the Object"));
        const int pts[] = {100, 300, 400, 300, 250, 60, 100, 300, 250, 300, 175, 180,
                           250, 300, 400, 300, 325, 180, 175, 180, 325, 180, 250, 60};
        const Picture24 before = w->Canvas();
        for (int i = 0; i < 12; ++i) Click(pts[2 * i], pts[2 * i + 1]);
        QVERIFY(!w->mnuEditObject->isEnabled());  // not while drawing
        Click(300, 300, Qt::RightButton);
        WaitReady();
        QVERIFY(w->mnuEditObject->isEnabled());
        const Picture24 first = w->Canvas();
        const TIfsObject firstObject = state->CurrentObject();
        const std::uint32_t generator = state->RandomState;
        QVERIFY(!(first == before));

        TEditObject edited;
        EditObject([&](TfrmEditObject& d) {
            QCOMPARE(d.windowTitle(), QString("Edit Object"));
            QCOMPARE(QAccessible::queryAccessibleInterface(d.imgPreview)->text(QAccessible::Name),
                     QString("Object preview"));
            // The triangles come back as they were clicked.
            QCOMPARE(d.Model().TriangleOf(2)[2], (TPoint{325, 180}));
            // Map 3 has a vertex there too; the last in the list is grabbed first.
            DragVertex(d, 3, 1, 30, -20);
            edited = d.EditedObject();
            d.btnRender->click();
        });
        TEditObject clicked = TrianglesOfObject(firstObject);
        QVERIFY(!(edited == clicked));
        clicked.Maps[2].Triangle[1] = edited.Maps[2].Triangle[1];
        QVERIFY(edited == clicked);  // exactly one vertex moved
        WaitReady();

        // The edited drawing rendered headless on the picture from before the first
        // rendering, with the generator where that rendering left it.
        const Picture24 expected = RenderedHeadless(edited, generator, before);
        QVERIFY(w->Canvas() == expected);
        const TIfsObject editedObject = state->CurrentObject();
        QVERIFY(editedObject.BaseTriangle == edited.Base && editedObject.MapCount == 3);

        w->mnuEditUndo->trigger();
        QVERIFY(w->Canvas() == first);
        QVERIFY(state->CurrentObject() == firstObject);
        w->mnuEditRedo->trigger();
        QVERIFY(w->Canvas() == expected);
        QVERIFY(state->CurrentObject() == editedObject);
    }

    void afterUndoTheEditedObjectIsRenderedOverTheCanvasAsItIs() {
        const int first[] = {100, 300, 400, 300, 250, 60, 110, 290, 390, 290, 250, 80};
        const int second[] = {300, 350, 500, 350, 400, 150, 320, 340, 480, 340, 400, 170};
        for (int i = 0; i < 6; ++i) Click(first[2 * i], first[2 * i + 1]);
        Click(300, 300, Qt::RightButton);
        WaitReady();
        for (int i = 0; i < 6; ++i) Click(second[2 * i], second[2 * i + 1]);
        Click(300, 300, Qt::RightButton);
        WaitReady();
        w->mnuEditUndo->trigger();  // the first rendering again, no longer the one just made
        const Picture24 shown = w->Canvas();
        const std::uint32_t generator = state->RandomState;
        TEditObject edited;
        EditObject([&](TfrmEditObject& d) {
            d.Model().Select({1, 2});
            d.Model().Nudge(-5, 0);
            edited = d.EditedObject();
            d.btnRender->click();
        });
        WaitReady();
        QVERIFY(w->Canvas() == RenderedHeadless(edited, generator, shown));  // drawn over the first rendering
        w->mnuEditUndo->trigger();
        QVERIFY(w->Canvas() == shown);
    }

    void numbersCommitOnEnterAndUndoIsTheDialogsEvenInANumberBox() {
        EditObject([&](TfrmEditObject& d) {
            d.btnAdd->click();
            d.Model().Select({1, 0});
            d.ModelChanged();
            const TPoint was = *d.Model().SelectedVertex();
            d.edtX->setFocus();
            QTest::keyClick(d.edtX, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(d.edtX, "77");
            QTest::keyClick(d.edtX, Qt::Key_Return);
            QVERIFY(d.isVisible());  // Enter took the number, the dialog stays
            QCOMPARE(d.Model().SelectedVertex()->x, 77);
            QTest::keyClick(d.edtX, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(d.Model().SelectedVertex()->x, was.x);
            QCOMPARE(d.edtX->value(), was.x);
            QTest::keyClick(d.edtX, Qt::Key_Z, Qt::ControlModifier);  // and the Add before it
            QCOMPARE(d.Model().MapCount(), 0);
            QTest::keyClick(d.edtX, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(d.Model().MapCount(), 1);
            d.reject();
        });
    }

    void cancelLeavesEverythingAsItWas() {
        EditObject([&](TfrmEditObject& d) {
            // No object: a base triangle on the canvas and nothing to render.
            QCOMPARE(d.Model().MapCount(), 0);
            QVERIFY(!d.btnRender->isEnabled());
            d.btnAdd->click();
            DragVertex(d, 1, 0, 10, 10);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QCOMPARE(state->MapCount, 0);
        QCOMPARE(state->RandomState, 0u);
        QVERIFY(!state->Rendering);
        QCOMPARE(w->StatusPanels[3]->text(), QString("Ready"));
    }
};

QTEST_MAIN(ObjectEditorTest)
#include "object_editor_test.moc"
