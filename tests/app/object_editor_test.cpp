#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableWidget>
#include <QWheelEvent>
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
        QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), QPoint(x, y));
        QTest::mousePress(Find<TCanvasImage>(w, "imgPaint"), button, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(Find<TCanvasImage>(w, "imgPaint"), button, Qt::NoModifier, QPoint(x, y));
    }
    void WaitReady() { QTRY_COMPARE_WITH_TIMEOUT(StatusPanel(w, 3)->text(), QString("Ready"), 20000); }

    // Opens Edit Object and lets `act` work the dialog while it runs.
    void EditObject(const std::function<void(TfrmEditObject&)>& act) {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TfrmEditObject*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            act(*dialog);
            acted = true;
            if (dialog->isVisible()) {  // a failed check left it open
                dialog->ConfirmDiscard = nullptr;
                dialog->reject();
            }
        });
        Find(w, "mnuEditObject")->trigger();
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
    static Picture24 RenderedHeadless(const TDrawing& drawing, std::uint32_t generator, const Picture24& canvas) {
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
        w->Hooks().FRenderStepLimit = Steps;
    }
    void cleanup() { CloseWindow(); }

    void refiningARenderingReplacesItAndUndoBringsItBack() {
        QCOMPARE(Find(w, "mnuEditObject")->text(), QString("Edit &Object..."));
        QCOMPARE(Find(w, "mnuEditObject")->shortcut(), QKeySequence("Ctrl+T"));
        QCOMPARE(Find(w, "mnuEditObject")->statusTip(), QString("Edit the Triangles of the Object"));
        const int pts[] = {100, 300, 400, 300, 250, 60, 100, 300, 250, 300, 175, 180,
                           250, 300, 400, 300, 325, 180, 175, 180, 325, 180, 250, 60};
        const Picture24 before = w->Canvas();
        for (int i = 0; i < 12; ++i) Click(pts[2 * i], pts[2 * i + 1]);
        QVERIFY(!Find(w, "mnuEditObject")->isEnabled());  // not while drawing
        Click(300, 300, Qt::RightButton);
        WaitReady();
        QVERIFY(Find(w, "mnuEditObject")->isEnabled());
        const Picture24 first = w->Canvas();
        const TIfsObject firstObject = state->CurrentObject();
        const std::uint32_t generator = state->RandomState;
        QVERIFY(!(first == before));

        TDrawing edited;
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
        TDrawing clicked = TrianglesOfObject(firstObject);
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

        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == first);
        QVERIFY(state->CurrentObject() == firstObject);
        Find(w, "mnuEditRedo")->trigger();
        QVERIFY(w->Canvas() == expected);
        QVERIFY(state->CurrentObject() == editedObject);
    }

    void refiningThreeTimesInARowShowsNoOldPoints() {
        const int pts[] = {100, 300, 400, 300, 250, 60, 100, 300, 250, 300, 175, 180,
                           250, 300, 400, 300, 325, 180, 175, 180, 325, 180, 250, 60};
        const Picture24 before = w->Canvas();
        for (int i = 0; i < 12; ++i) Click(pts[2 * i], pts[2 * i + 1]);
        Click(300, 300, Qt::RightButton);
        WaitReady();
        const TColor colors[] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255)};
        std::vector<Picture24> renderings{w->Canvas()};
        for (int round = 0; round < 3; ++round) {
            EditObject([&](TfrmEditObject& d) {
                if (round == 0) {
                    for (int k = 1; k <= 3; ++k) d.Model().SetMapColor(k, colors[k - 1]);
                } else {
                    d.Model().Select({1, 2});
                    d.Model().Nudge(4 * round, 0);
                }
                if (round == 1) {
                    // The preview: the object alone on the picture it will be rendered on.
                    d.Model().Select({1, -1});
                    while (d.Model().DeleteMap()) {
                    }
                    d.ModelChanged();
                    QVERIFY(!d.btnRender->isEnabled());
                    QTRY_VERIFY_WITH_TIMEOUT(d.imgPreview->Frame == before, 20000);
                    d.cbBackgroundOnly->setChecked(false);  // over the rendering shown now
                    QTRY_VERIFY_WITH_TIMEOUT(d.imgPreview->Frame == renderings.back(), 20000);
                    d.cbBackgroundOnly->setChecked(true);
                    for (int i = 0; i < 3; ++i) d.Model().Undo();
                    d.ModelChanged();
                }
                d.btnRender->click();
            });
            WaitReady();
            const Picture24 shown = w->Canvas();
            int stray = 0;
            for (int y = 0; y < shown.Height(); ++y)
                for (int x = 0; x < shown.Width(); ++x) {
                    const TColor c = shown.Pixel(x, y);
                    if (c != before.Pixel(x, y) && c != colors[0] && c != colors[1] && c != colors[2]) ++stray;
                }
            QCOMPARE(stray, 0);
            renderings.push_back(shown);
        }
        // Undo shows the refinement before the last; Redo the last.
        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == renderings[2]);
        Find(w, "mnuEditRedo")->trigger();
        QVERIFY(w->Canvas() == renderings[3]);
    }

    void numberBoxesKeysAndTheReasonForAGreyedRender() {
        EditObject([&](TfrmEditObject& d) {
            QCOMPARE(d.lblRenderReason->text(), QString("Add a map to render the object."));
            d.btnAdd->click();
            d.btnAdd->click();
            QVERIFY(d.btnRender->isEnabled());
            QVERIFY(d.lblRenderReason->isHidden());
            QVERIFY(d.edtX->text().isEmpty());  // a map, no vertex: blank
            d.Model().Select({0, 1});
            d.ModelChanged();
            const TDrawing was = d.EditedObject();
            d.edtX->setFocus();
            QTest::keyClick(d.edtX, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(d.edtX, "0");
            QTest::keyClick(d.edtX, Qt::Key_Escape);  // the box only
            QVERIFY(d.isVisible());
            QVERIFY(d.EditedObject() == was);
            QCOMPARE(d.edtX->text(), QString::number(was.Base[1].x));
            QTest::keyClick(d.edtX, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(d.edtX, "0");
            QTest::keyClick(d.edtX, Qt::Key_Return);
            QVERIFY(!d.btnRender->isEnabled());  // base vertex 2 in column 0
            QCOMPARE(d.lblRenderReason->text(), QString("The base triangle cannot be solved."));
            QTest::keyClick(d.edtX, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(d.btnRender->isEnabled());

            // The map by number: a typed rotation turns the triangle, in one step of undo.
            d.Model().Select({1, -1});
            d.ModelChanged();
            const TTriangle before = d.Model().TriangleOf(1);
            QDoubleSpinBox* rotation = d.edtForm[2];
            const double turned = rotation->value() + 90;
            rotation->setFocus();
            QTest::keyClick(rotation, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(rotation, QString::number(turned, 'f', 2));
            QTest::keyClick(rotation, Qt::Key_Return);
            QVERIFY(!(d.Model().TriangleOf(1) == before));
            QVERIFY(std::fabs(FormOfMap(*d.Model().Coefficients(1)).Rotation - turned) < 1.0);
            QVERIFY(std::fabs(d.edtCoefficient[0]->value() - (*d.Model().Coefficients(1))[0]) < 1e-5);  // the other form follows
            d.UndoEdit();
            QVERIFY(d.Model().TriangleOf(1) == before);

            d.imgPreview->setFocus();
            const TPoint corner = d.Model().TriangleOf(1)[0];
            QTest::keyClick(d.imgPreview, Qt::Key_Right, Qt::ShiftModifier);
            QCOMPARE(d.Model().TriangleOf(1)[0], (TPoint{corner.x + 10, corner.y}));
            const TDrawnMap second = d.EditedObject().Maps[1];
            QTest::keyClick(d.imgPreview, Qt::Key_Delete);
            QCOMPARE(d.Model().MapCount(), 1);
            QVERIFY(d.EditedObject().Maps[0] == second);
            QCOMPARE(d.Model().Selected(), (TObjectEditModel::Selection{1, -1}));  // the next one
            QVERIFY(d.lstMaps->item(0, 0)->isSelected());
            dialogs->answers.push_back(TDialogs::Answer::Yes);
            d.reject();
        });
    }

    void theViewKeepsTrianglesReachableAndTheWheelZoomsAboutThePointer() {
        EditObject([&](TfrmEditObject& d) {
            d.SetZoom(1);
            d.btnAdd->click();
            const QSize size = d.imgPreview->size();
            DragVertex(d, 1, 0, -300, 0);  // off the canvas's left edge
            const TPoint v = d.Model().TriangleOf(1)[0];
            QVERIFY(v.x < 0);
            QVERIFY(d.imgPreview->width() > size.width());
            QVERIFY(d.imgPreview->rect().contains(d.imgPreview->ToScreen(v.x, v.y).toPoint()));

            QWidget* port = d.ScrollBox->viewport();
            const QPoint pointer(port->width() / 3, port->height() / 3);
            auto under = [&] { return d.imgPreview->ToCanvas(d.imgPreview->mapFrom(port, QPointF(pointer))); };
            for (int notches : {2, 1, -4}) {
                const TEditPoint was = under();
                const QPointF at = d.imgPreview->mapFrom(port, QPointF(pointer));
                QWheelEvent wheel(at, d.imgPreview->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                                  Qt::ControlModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(d.imgPreview, &wheel);
                const TEditPoint now = under();
                QVERIFY2(std::hypot(now.x - was.x, now.y - was.y) <= 1.0 / d.imgPreview->Zoom + 0.5,
                         qPrintable(QString("%1,%2 -> %3,%4").arg(was.x).arg(was.y).arg(now.x).arg(now.y)));
            }
            dialogs->answers.push_back(TDialogs::Answer::Yes);
            d.reject();
        });
    }

    void ctrlSelectsSeveralMapsThatMoveCopyAndPasteTogether() {
        EditObject([&](TfrmEditObject& d) {
            d.SetZoom(1);
            d.btnAdd->click();
            d.Model().Select({0, -1});
            d.btnAdd->click();
            d.Model().Select({1, -1});
            d.ModelChanged();
            d.Model().Nudge(-100, 0);  // apart from map 2
            d.ModelChanged();
            auto centre = [&](int t) {
                const TTriangle& tri = d.Model().TriangleOf(t);
                return d.imgPreview->ToScreen((tri[0].x + tri[1].x + tri[2].x) / 3.0, (tri[0].y + tri[1].y + tri[2].y) / 3.0)
                    .toPoint();
            };
            // Ctrl+click adds map 2 to map 1.
            QTest::mouseClick(d.imgPreview, Qt::LeftButton, Qt::ControlModifier, centre(2));
            QCOMPARE(d.Model().SelectedTriangles(), (std::vector<int>{1, 2}));
            QCOMPARE(d.lstMaps->selectionModel()->selectedRows().size(), 2);
            // A drag from either moves both.
            const TDrawing was = d.EditedObject();
            const QPoint from = centre(1);
            QTest::mousePress(d.imgPreview, Qt::LeftButton, Qt::NoModifier, from);
            QMouseEvent move(QEvent::MouseMove, from + QPoint(8, 6), d.imgPreview->mapToGlobal(from + QPoint(8, 6)),
                             Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(d.imgPreview, &move);
            QTest::mouseRelease(d.imgPreview, Qt::LeftButton, Qt::NoModifier, from + QPoint(8, 6));
            for (std::size_t k : {0u, 1u})
                QCOMPARE(d.EditedObject().Maps[k].Triangle[2], (TPoint{was.Maps[k].Triangle[2].x + 8, was.Maps[k].Triangle[2].y + 6}));
            // Copy and paste: two more, selected.
            d.imgPreview->setFocus();
            QTest::keyClick(d.imgPreview, Qt::Key_C, Qt::ControlModifier);
            QTest::keyClick(d.imgPreview, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(d.Model().MapCount(), 4);
            QCOMPARE(d.Model().SelectedTriangles(), (std::vector<int>{3, 4}));
            // Ctrl+drag a box from empty space around map 1 alone.
            const TTriangle& one = d.Model().TriangleOf(1);
            int left = one[0].x, top = one[0].y, right = left, bottom = top;
            for (const TPoint& v : one) {
                left = std::min(left, v.x), right = std::max(right, v.x);
                top = std::min(top, v.y), bottom = std::max(bottom, v.y);
            }
            const QPoint a = d.imgPreview->ToScreen(left - 3, bottom + 3).toPoint();
            const QPoint b = d.imgPreview->ToScreen(right + 3, top - 3).toPoint();
            QTest::mousePress(d.imgPreview, Qt::LeftButton, Qt::ControlModifier, a);
            QMouseEvent band(QEvent::MouseMove, b, d.imgPreview->mapToGlobal(b), Qt::NoButton, Qt::LeftButton,
                             Qt::ControlModifier);
            QApplication::sendEvent(d.imgPreview, &band);
            QTest::mouseRelease(d.imgPreview, Qt::LeftButton, Qt::ControlModifier, b);
            QCOMPARE(d.Model().SelectedTriangles(), (std::vector<int>{1}));
            dialogs->answers.push_back(TDialogs::Answer::Yes);
            d.reject();
        });
    }

    void customChancesAreRenderedAndComeBackInTheEditor() {
        EditObject([&](TfrmEditObject& d) {
            d.btnAdd->click();
            d.Model().Select({0, -1});
            d.btnAdd->click();  // a second half-size copy of the base
            d.rbCustom->click();
            QVERIFY(d.Model().CustomChances());
            QTableWidgetItem* share = d.lstMaps->item(0, 3);
            QVERIFY(share->flags() & Qt::ItemIsEditable);
            share->setText("80");  // as typed into the cell
            QCOMPARE(d.lstMaps->item(1, 3)->text(), QString("20.0 %"));
            d.btnRender->click();
        });
        WaitReady();
        QCOMPARE(state->MapCount, 2);
        QCOMPARE(state->Maps[1].Probability, 0.8f);
        EditObject([&](TfrmEditObject& d) {
            QVERIFY(d.rbCustom->isChecked());
            QCOMPARE(d.lstMaps->item(0, 3)->text(), QString("80.0 %"));
            d.reject();  // nothing changed: no question
        });
        QVERIFY(dialogs->shown.empty());
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
        Find(w, "mnuEditUndo")->trigger();  // the first rendering again, no longer the one just made
        const Picture24 shown = w->Canvas();
        const std::uint32_t generator = state->RandomState;
        TDrawing edited;
        EditObject([&](TfrmEditObject& d) {
            d.Model().Select({1, 2});
            d.Model().Nudge(-5, 0);
            edited = d.EditedObject();
            d.btnRender->click();
        });
        WaitReady();
        QVERIFY(w->Canvas() == RenderedHeadless(edited, generator, shown));  // drawn over the first rendering
        Find(w, "mnuEditUndo")->trigger();
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
            dialogs->answers.push_back(TDialogs::Answer::Yes);
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
            QTest::keyClick(&d, Qt::Key_Escape);  // asks first: No keeps the dialog
            QVERIFY(d.isVisible());
            dialogs->answers.push_back(TDialogs::Answer::Yes);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QCOMPARE(dialogs->shown.size(), 2u);
        QCOMPARE(dialogs->shown.back().text, QString("Discard the changes to the object?"));
        QCOMPARE(state->MapCount, 0);
        QCOMPARE(state->RandomState, 0u);
        QVERIFY(!state->Rendering);
        QCOMPARE(StatusPanel(w, 3)->text(), QString("Ready"));
    }
};

QTEST_MAIN(ObjectEditorTest)
#include "object_editor_test.moc"
