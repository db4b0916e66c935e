#include <QAccessible>
#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "canvas_image.h"
#include "instance_lock.h"
#include "main_window.h"
#include "qt_translations.h"
#include "window_fixture.h"
#include "strokes.h"

using namespace fernweave;

namespace {

// A Sierpinski triangle: base and three half-size copies.
const int Sierpinski[] = {275, 20, 40, 340, 510, 340,  275, 20, 158, 180, 392, 180,
                          158, 180, 40, 340, 275, 340, 392, 180, 275, 340, 510, 340};

// Clicks the points into the object and leaves their outline on the canvas,
// as the editor does when each click falls on the last mouse position.
void Draw(TfrmMain& w, int points, TColor color = 0x00FF00) {
    FractalState& s = w.State();
    s.BeginDrawing();
    for (int i = 0; i < points; ++i) s.AddPoint(Sierpinski[2 * (i % 12)], Sierpinski[2 * (i % 12) + 1], color, true);
    DrawObjectOutline(w.Canvas(), s);
}

}  // namespace

class MainWindowTest : public QObject, TWindowTest {
    Q_OBJECT

    QString Status() const { return StatusPanel(w, 3)->text(); }

    // Starts a rendering of a drawn Sierpinski triangle and waits for its first repaint.
    void RenderAndStop() {
        Draw(*w, 12);
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(state->Rendering);
        QTRY_VERIFY_WITH_TIMEOUT(state->PaintedBits.Size() > 0 && PaintedCount() > 100, 20000);
        Invoke(w, "mnuRenderStopClick");
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("Ready"), 20000);
    }

    int PaintedCount() const {
        int n = 0;
        const Picture24& c = w->Canvas();
        for (int y = 0; y < c.Height(); ++y)
            for (int x = 0; x < c.Width(); ++x) n += c.Pixel(x, y) != Find<TColorPanel>(w, "pnlColor")->BackColor();
        return n;
    }

    // Menu item and button of one command always get the same state.
    static bool AllOn(QAction* menu, QAction* button = nullptr) { return menu->isEnabled() && (!button || button->isEnabled()); }
    static bool AllOff(QAction* menu, QAction* button = nullptr) { return !menu->isEnabled() && (!button || !button->isEnabled()); }

private slots:
    void init() { QVERIFY(OpenWindow()); }

    void cleanup() { CloseWindow(); }

    // What a screen reader gets through Qt's accessibility tree (which Qt
    // hands to AT-SPI): the colour panel's parts and the canvas have names,
    // and their descriptions follow the colours and the pointer.
    void screenReadersGetNamesAndStates() {
        const auto name = [](QWidget* widget) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
            return a ? a->text(QAccessible::Name) : QString("(none)");
        };
        const auto description = [](QWidget* widget) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
            return a ? a->text(QAccessible::Description) : QString("(none)");
        };
        TColorPanel* panel = Find<TColorPanel>(w, "pnlColor");
        QCOMPARE(name(panel->imgColor), QString("Colour spectrum"));
        QCOMPARE(name(panel->shpFore), QString("Foreground colour"));
        QCOMPARE(name(panel->shpBack), QString("Background colour"));
        QCOMPARE(name(panel->imgSwap), QString("Swap colours"));
        QCOMPARE(name(panel->cbDiffuse), QString("Diffuse"));
        QCOMPARE(name(panel->imgGrid), QString("Colour grid"));
        QCOMPARE(name(Find<TCanvasImage>(w, "imgPaint")), QString("Canvas"));
        for (QWidget* part : {static_cast<QWidget*>(panel->imgColor), static_cast<QWidget*>(panel->imgSwap),
                              static_cast<QWidget*>(panel->cbDiffuse)})
            QVERIFY(!description(part).isEmpty());

        panel->SetForeColor(MakeColor(255, 128, 0));
        QCOMPARE(description(panel->shpFore), QString("red 255, green 128, blue 0"));
        QCOMPARE(description(panel->shpBack), QString("red 0, green 0, blue 0"));
        QVERIFY(description(panel->imgGrid).endsWith("none yet"));
        panel->FillColorCell(2);
        QCOMPARE(description(panel->imgGrid),
                 QString("The colours of the maps being drawn: cell 2: red 255, green 128, blue 0"));
        panel->ResetColorGrid();
        QVERIFY(description(panel->imgGrid).endsWith("none yet"));
        QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), QPoint(30, 40));
        QTRY_COMPARE(description(Find<TCanvasImage>(w, "imgPaint")), QString("550 by 364 pixels; pointer at 30, 40"));
    }

    // Qt's own texts follow the user's language (Debian's Qt translations).
    void qtsOwnTextsSpeakTheUsersLanguage() {
        QTranslator* german = InstallQtTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany));
        QVERIFY2(german, "no German translation of Qt installed (qt6-translations-l10n)");
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
        const QString yes = box.button(QMessageBox::Yes)->text(), cancel = box.button(QMessageBox::Cancel)->text();
        QCoreApplication::removeTranslator(german);
        delete german;
        QCOMPARE(yes, QString("&Ja"));
        QCOMPARE(cancel, QString("Abbrechen"));
        QVERIFY(!InstallQtTranslations(*qApp, QLocale(QLocale::Sanskrit)));
    }

    void startsBlackAndIdle() {
        QCOMPARE(w->windowTitle(), QString("Fernweave 2.0"));
        QCOMPARE(w->Canvas().Width(), 550);
        QCOMPARE(w->Canvas().Height(), 364);
        QCOMPARE(PaintedCount(), 0);
        QCOMPARE(state->PaintedBits.Size(), 550u * 364u);
        QCOMPARE(state->UndoPaintedBits.Size(), 550u * 364u);
        QVERIFY(w->Document().FSaved);
        QCOMPARE(w->Document().Resolution, (TResolution{72, 72}));
        const QString texts[6] = {"Hint:", "", "Status:", "Ready", "Position:", ""};
        for (int i = 0; i < 6; ++i) QCOMPARE(StatusPanel(w, i)->text(), texts[i]);
        QVERIFY(Find<QStatusBar>(w, "StatusBar1")->isVisible());
        QVERIFY(StatusPanel(w, 5)->isVisible());
    }

    void commandTableIdleAtStartUp() {
        QVERIFY(AllOn(Find(w, "mnuFileNew"), Find(w, "btnNew")));
        QVERIFY(AllOn(Find(w, "mnuFileLoad"), Find(w, "btnLoad")));
        QVERIFY(AllOn(Find(w, "mnuFileSave"), Find(w, "btnSave")));
        QVERIFY(AllOn(Find(w, "mnuFileImport"), Find(w, "btnImport")));
        QVERIFY(AllOn(Find(w, "mnuFilePrint"), Find(w, "btnPrint")));
        QVERIFY(AllOn(Find(w, "mnuViewShow")));
        QVERIFY(AllOff(Find(w, "mnuFileExport"), Find(w, "btnExport")));
        QVERIFY(AllOff(Find(w, "mnuEditUndo")));
        QVERIFY(AllOff(Find(w, "mnuEditRedo")));
        QVERIFY(AllOff(Find(w, "mnuEditClear")));
        QVERIFY(AllOff(Find(w, "mnuRenderStart"), Find(w, "btnStart")));
        QVERIFY(AllOff(Find(w, "mnuRenderStop"), Find(w, "btnStop")));
        QVERIFY(!Find<QCheckBox>(w, "cbDiffuse")->isEnabled());
        // Never touched by the command table.
        for (QAction* a : {Find(w, "mnuFilePrintSetup"), Find(w, "mnuFileExit"), Find(w, "mnuViewToolbar"),
                           Find(w, "mnuViewStatus"), Find(w, "mnuViewColor"), Find(w, "mnuTuto1"),
                           Find(w, "mnuHelpContents"), Find(w, "mnuHelpWeb"), Find(w, "mnuHelpAbout"), Find(w, "btnHelp"),
                           Find(w, "btnAbout"), Find(w, "btnTuto")})
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    }

    void commandTableWhileDrawing() {
        state->MapCount = 3;  // an object exists, but Export is off while drawing
        Draw(*w, 0);
        for (int n = 1; n <= 7; ++n) {
            state->AddPoint(10 * n, 10 * n, clWhite, true);
            w->UpdateCommands();
            QVERIFY(n == 6 ? AllOn(Find(w, "mnuRenderStart"), Find(w, "btnStart"))
                           : AllOff(Find(w, "mnuRenderStart"), Find(w, "btnStart")));
            QCOMPARE(Find<QCheckBox>(w, "cbDiffuse")->isEnabled(), n >= 3);
            QVERIFY(AllOff(Find(w, "mnuFileNew"), Find(w, "btnNew")));
            QVERIFY(AllOff(Find(w, "mnuFileLoad"), Find(w, "btnLoad")));
            QVERIFY(AllOff(Find(w, "mnuFileSave"), Find(w, "btnSave")));
            QVERIFY(AllOff(Find(w, "mnuFileExport"), Find(w, "btnExport")));
            QVERIFY(AllOff(Find(w, "mnuFileImport"), Find(w, "btnImport")));
            QVERIFY(AllOff(Find(w, "mnuFilePrint"), Find(w, "btnPrint")));
            QVERIFY(AllOff(Find(w, "mnuEditUndo")));
            QVERIFY(AllOff(Find(w, "mnuEditRedo")));
            QVERIFY(AllOff(Find(w, "mnuEditClear")));
            QVERIFY(AllOff(Find(w, "mnuRenderStop"), Find(w, "btnStop")));
            QVERIFY(AllOff(Find(w, "mnuViewShow")));
        }
    }

    void startNeedsACompleteMapTriangle() {
        for (int points : {3, 5, 7}) {
            FractalState& s = *state;
            s.PointCount = 0;
            Draw(*w, points);
            Invoke(w, "mnuRenderStartClick");
            QVERIFY2(!s.Rendering, qPrintable(QString::number(points)));
            QCOMPARE(Status(), QString("Ready"));
        }
    }

    void commandTableWhileRendering() {
        Draw(*w, 12);
        Find<QCheckBox>(w, "cbDiffuse")->setChecked(false);
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(state->Rendering);
        QCOMPARE(Status(), QString("Rendering..."));
        QCOMPARE(state->PointCount, 0);
        QVERIFY(!w->Document().FSaved);
        QVERIFY(AllOn(Find(w, "mnuFileExport"), Find(w, "btnExport")));
        QVERIFY(AllOn(Find(w, "mnuViewShow")));
        QVERIFY(AllOn(Find(w, "mnuRenderStop"), Find(w, "btnStop")));
        for (auto [m, b] : std::initializer_list<std::pair<QAction*, QAction*>>{{Find(w, "mnuFileNew"), Find(w, "btnNew")},
                                                                                {Find(w, "mnuFileLoad"), Find(w, "btnLoad")},
                                                                                {Find(w, "mnuFileSave"), Find(w, "btnSave")},
                                                                                {Find(w, "mnuFileImport"), Find(w, "btnImport")},
                                                                                {Find(w, "mnuFilePrint"), Find(w, "btnPrint")},
                                                                                {Find(w, "mnuRenderStart"), Find(w, "btnStart")},
                                                                                {Find(w, "mnuEditUndo"), nullptr},
                                                                                {Find(w, "mnuEditRedo"), nullptr},
                                                                                {Find(w, "mnuEditClear"), nullptr}})
            QVERIFY2(AllOff(m, b), qPrintable(m->objectName()));
        QVERIFY(!Find<QCheckBox>(w, "cbDiffuse")->isEnabled());
        QCOMPARE(Find<TCanvasImage>(w, "imgPaint")->cursor().shape(), Qt::ArrowCursor);

        Invoke(w, "mnuRenderStopClick");
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("Ready"), 20000);
        QVERIFY(!state->Rendering);
        QVERIFY(Find<QCheckBox>(w, "cbDiffuse")->isChecked());
        QVERIFY(AllOn(Find(w, "mnuEditUndo")));
        QVERIFY(AllOff(Find(w, "mnuEditRedo")));
        QVERIFY(!w->Document().FSaved);
        QVERIFY(AllOn(Find(w, "mnuFileExport"), Find(w, "btnExport")));
        QVERIFY(AllOn(Find(w, "mnuEditClear")));
        QCOMPARE(Find<TCanvasImage>(w, "imgPaint")->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(state->MapCount, 3);
    }

    void undoAndRedoAlternateAndSwapEverything() {
        const Picture24 before = w->Canvas();
        RenderAndStop();
        const Picture24 rendered = w->Canvas();
        const BitSet renderedBits = state->PaintedBits;
        QVERIFY(!(rendered == before));

        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(w->Canvas() == before);
        QVERIFY(state->UndoBitmap == rendered);
        QVERIFY(state->UndoPaintedBits == renderedBits);
        QCOMPARE(state->MapCount, 0);  // the object before the drawing
        QVERIFY(w->Document().FSaved);
        QVERIFY(AllOff(Find(w, "mnuEditUndo")));
        QVERIFY(AllOn(Find(w, "mnuEditRedo")));
        QVERIFY(AllOff(Find(w, "mnuFileExport"), Find(w, "btnExport")));

        Find(w, "mnuEditRedo")->trigger();
        QVERIFY(w->Canvas() == rendered);
        QVERIFY(state->PaintedBits == renderedBits);
        QCOMPARE(state->MapCount, 3);
        QVERIFY(!w->Document().FSaved);
        QVERIFY(AllOn(Find(w, "mnuEditUndo")));
        QVERIFY(AllOff(Find(w, "mnuEditRedo")));
    }

    void undoRepaintsTheRestoredPictureOnTheCurrentBackground() {
        RenderAndStop();
        const Picture24 rendered = w->Canvas();
        RenderAndStop();  // the second rendering's undo slot holds the first one
        Find<TColorPanel>(w, "pnlColor")->SetBackColor(MakeColor(10, 20, 30));
        Find(w, "mnuEditUndo")->trigger();
        const Picture24& c = w->Canvas();
        for (int y = 0; y < c.Height(); y += 3)
            for (int x = 0; x < c.Width(); x += 3) {
                const bool painted = state->PaintedBits.Test(static_cast<std::size_t>(y) * 550 + x);
                QCOMPARE(c.Pixel(x, y), painted ? rendered.Pixel(x, y) : MakeColor(10, 20, 30));
            }
    }

    void repaintBackgroundKeepsExactlyTheRenderedPixels() {
        RenderAndStop();
        Picture24& c = w->Canvas();
        // A stray line that is not a rendered point.
        for (int x = 0; x < 550; ++x)
            if (!state->PaintedBits.Test(200 * 550 + x)) SetPixel24(c, x, 200, 0x123456);
        const Picture24 before = c;
        w->RepaintBackground(0x0000FF);
        for (int y = 0; y < 364; ++y)
            for (int x = 0; x < 550; ++x) {
                const bool painted = state->PaintedBits.Test(static_cast<std::size_t>(y) * 550 + x);
                if (painted != (c.Pixel(x, y) == before.Pixel(x, y) && before.Pixel(x, y) != 0x0000FF)) {
                    QCOMPARE(c.Pixel(x, y), painted ? before.Pixel(x, y) : TColor{0x0000FF});
                }
            }
        QCOMPARE(c.Pixel(0, 0), TColor{0x0000FF});
    }

    void closeQueryWhileRenderingIsRefused() {
        Draw(*w, 6);
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.size(), 1u);
        QCOMPARE(dialogs->shown[0].title, QString("Fernweave"));
        QCOMPARE(dialogs->shown[0].text, QString("Please stop rendering first!"));
        QVERIFY(dialogs->shown[0].icon == TDialogs::Icon::Warning);
        QVERIFY(dialogs->shown[0].buttons == TDialogs::Buttons::Ok);
        QVERIFY(w->isVisible());
        QVERIFY(state->Rendering);
    }

    void closeQueryWhenSavedClosesWithoutAsking() {
        QVERIFY(w->close());
        QVERIFY(dialogs->shown.empty());
    }

    void closeQueryAsksAboutAnUnsavedRendering() {
        RenderAndStop();
        dialogs->answers = {TDialogs::Answer::Cancel};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QCOMPARE(dialogs->shown.back().title, QString("Fernweave"));
        QVERIFY(dialogs->shown.back().buttons == TDialogs::Buttons::YesNoCancel);
        QVERIFY(dialogs->shown.back().icon == TDialogs::Icon::Warning);
        QVERIFY(dialogs->filesAsked.empty());

        // Yes, but the save dialog is left: the window stays open.
        dialogs->answers = {TDialogs::Answer::Yes};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->filesAsked.size(), 1u);
        QVERIFY(!w->Document().FSaved);

        // Yes, and the save fails: it says so, and the window stays open.
        QTemporaryDir dir;
        const QString through = dir.filePath("plain");
        QFile(through).open(QIODevice::WriteOnly);
        dialogs->answers = {TDialogs::Answer::Yes};
        dialogs->fileAnswers = {TFileChoice{through + "/picture.bmp", 1}};
        QVERIFY(!w->close());
        QCOMPARE(dialogs->shown.back().text, QString("Fail to save the picture."));
        QCOMPARE(dialogs->shown.back().title, QString("Save Picture"));
        QVERIFY(dialogs->shown.back().icon == TDialogs::Icon::Warning);
        QVERIFY(!w->Document().FSaved);

        // Yes, and the save works: the window waits for it, then closes.
        dialogs->answers = {TDialogs::Answer::Yes};
        dialogs->fileAnswers = {TFileChoice{dir.filePath("picture.bmp"), 1}};
        QVERIFY(w->close());
        QVERIFY(w->Document().FSaved);
        QVERIFY(QFileInfo(dir.filePath("picture.bmp")).size() > 550 * 364 * 3);
    }

    void closeQueryNoClosesWithoutSaving() {
        RenderAndStop();
        dialogs->answers = {TDialogs::Answer::No};
        QVERIFY(w->close());
        QVERIFY(dialogs->filesAsked.empty());
    }

    void commandGuardShowsTheErrorAndCarriesOn() {
        w->Guard([] { throw std::runtime_error("Disk on fire"); });
        QCOMPARE(dialogs->shown.size(), 1u);
        QCOMPARE(dialogs->shown[0].title, QString("Fernweave 2.0"));
        QCOMPARE(dialogs->shown[0].text, QString("Disk on fire"));
        QVERIFY(dialogs->shown[0].icon == TDialogs::Icon::Error);
        // Through a real command: an error inside the save command.
        dialogs->failFileDialog = "'abc' is not a valid integer value";
        Find(w, "mnuFileSave")->trigger();
        dialogs->failFileDialog.clear();
        QCOMPARE(dialogs->shown.size(), 2u);
        QCOMPARE(dialogs->shown[1].text, QString("'abc' is not a valid integer value"));
        QVERIFY(w->isVisible());
        RenderAndStop();  // and the program works on
    }

    void refusedStartOfAnEmptyPlacementEndsItAsACancel() {
        // An import waits for its placement, then Clear empties the object.
        state->MapCount = 2;
        state->SaveObject();
        state->MapCount = 0;
        state->ObjectImported = true;
        w->ShowInstruction("Draw a triangle to render the object");
        state->BeginDrawing();
        for (int i = 0; i < 3; ++i) state->AddPoint(50 + 40 * i, 60 + (i == 2) * 80, clWhite, true);
        w->StartRendering();
        QVERIFY(!state->Rendering);
        QCOMPARE(state->PointCount, 0);
        QVERIFY(!state->ObjectImported);
        QCOMPARE(state->MapCount, 2);
        QVERIFY(w->AutoHint());
        QCOMPARE(StatusPanel(w, 1)->text(), QString());
        QCOMPARE(Status(), QString("Ready"));
        QVERIFY(w->Document().FSaved);
    }

    void hintsGoToPanelOne() {
        QStatusTipEvent tip("Create a New Image");
        QApplication::sendEvent(w, &tip);
        QCOMPARE(StatusPanel(w, 1)->text(), QString("Create a New Image"));
        QVERIFY(StatusPanel(w, 5)->isVisible());  // the panels stay
        w->ShowInstruction("Draw a triangle to render the object");
        QStatusTipEvent other("Start Rendering");
        QApplication::sendEvent(w, &other);
        QCOMPARE(StatusPanel(w, 1)->text(), QString("Draw a triangle to render the object"));
    }

    void hintsOfMenuItemsAndButtonsDiffer() {
        QCOMPARE(Find(w, "mnuFileLoad")->statusTip(), QString());
        QCOMPARE(Find(w, "btnLoad")->statusTip(), QString("Load Picture from File"));
        QCOMPARE(Find(w, "btnLoad")->toolTip(), QString("Load Picture from File"));
        QCOMPARE(Find(w, "mnuFileNew")->statusTip(), QString("Create a New Image"));
        QCOMPARE(Find<QMenu>(w, "mnuTutorials")->menuAction()->statusTip(), QString("Show Animated Tutorials"));
        // The About button shows no tooltip, but its hint reaches panel 1.
        QWidget* about = Find<QToolBar>(w, "ToolBar1")->widgetForAction(Find(w, "btnAbout"));
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), about->mapToGlobal(QPoint(5, 5)));
        QVERIFY(QApplication::sendEvent(about, &help));
        QCOMPARE(about->statusTip(), QString("About the Software"));
        QStatusTipEvent tip(about->statusTip());
        QApplication::sendEvent(about, &tip);
        QCOMPARE(StatusPanel(w, 1)->text(), QString("About the Software"));
    }

    void menusAndToolbarCarryTheirCaptions() {
        QStringList menus;
        for (QAction* a : w->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Render", "&View", "&Tutorials", "&Help"}));
        QCOMPARE(Find(w, "mnuViewShow")->text(), QString("Show &Gird"));
        QCOMPARE(Find(w, "mnuViewColor")->text(), QString("&Color Pallete"));
        QCOMPARE(Find(w, "mnuEditClear")->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(Find(w, "mnuEditRedo")->shortcut(), QKeySequence("Ctrl+Y"));
        QCOMPARE(Find(w, "mnuHelpContents")->shortcut(), QKeySequence(Qt::Key_F1));
        QStringList captions;
        int separators = 0;
        for (QAction* a : Find<QToolBar>(w, "ToolBar1")->actions()) {
            if (a->isSeparator())
                ++separators;
            else
                captions << a->text();
        }
        QCOMPARE(captions, (QStringList{"New", "Load", "Save", "Export", "Import", "Print", "Start", "Stop", "Tutorials",
                                        "Help", "About"}));
        QCOMPARE(separators, 6);
        auto* tuto = qobject_cast<QToolButton*>(Find<QToolBar>(w, "ToolBar1")->widgetForAction(Find(w, "btnTuto")));
        QVERIFY(tuto);
        QCOMPARE(tuto->popupMode(), QToolButton::MenuButtonPopup);
        QCOMPARE(tuto->menu()->actions().size(), 4);
        QCOMPARE(Find<QToolBar>(w, "ToolBar1")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(!Find(w, "btnNew")->icon().isNull());
    }

    void viewTogglesHideAndShow() {
        Find(w, "mnuViewToolbar")->trigger();
        QVERIFY(!Find(w, "mnuViewToolbar")->isChecked());
        QVERIFY(!Find<QToolBar>(w, "ToolBar1")->isVisible());
        Find(w, "mnuViewColor")->trigger();
        QVERIFY(!Find<TColorPanel>(w, "pnlColor")->isVisible());
        Find(w, "mnuViewStatus")->trigger();
        QVERIFY(!Find<QStatusBar>(w, "StatusBar1")->isVisible());
        for (QAction* a : {Find(w, "mnuViewToolbar"), Find(w, "mnuViewColor"), Find(w, "mnuViewStatus")}) a->trigger();
        QVERIFY(Find<QToolBar>(w, "ToolBar1")->isVisible() && Find<TColorPanel>(w, "pnlColor")->isVisible() &&
                Find<QStatusBar>(w, "StatusBar1")->isVisible());
        // The canvas stays centred in the bigger visible area.
        QTRY_COMPARE(Find<TCanvasImage>(w, "imgPaint")->geometry().center().x(),
                     Find<QScrollArea>(w, "ScrollBox1")->viewport()->rect().center().x());
    }

    void clearForgetsTheRendering() {
        RenderAndStop();
        Find<TColorPanel>(w, "pnlColor")->SetBackColor(MakeColor(0, 0, 90));
        Find(w, "mnuEditClear")->trigger();
        QCOMPARE(PaintedCount(), 0);
        QVERIFY(state->UndoBitmap.Empty());
        QCOMPARE(state->MapCount, 0);
        QVERIFY(w->Document().FSaved);
        QVERIFY(AllOff(Find(w, "mnuEditUndo")) && AllOff(Find(w, "mnuEditRedo")) && AllOff(Find(w, "mnuEditClear")));
        QVERIFY(AllOff(Find(w, "mnuFileExport"), Find(w, "btnExport")));
    }

    // Without a runtime folder the lock lives in the temporary folder, where
    // another user may make the program's folder first and hold a lock in it.
    void theLockFolderMustBeTheUsersOwn() {
        if (::getuid() != 0) QSKIP("giving the folder to another user needs root");
        QTemporaryDir tmp;
        const QByteArray oldTmp = qgetenv("TMPDIR"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        qunsetenv("XDG_RUNTIME_DIR");
        const QByteArray folder = tmp.filePath(QString("fernweave-%1").arg(::getuid())).toLocal8Bit();
        ::mkdir(folder, 0700);
        const int theirs = ::open(folder + "/" + InstanceLockName, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        const bool heldByThem = theirs >= 0 && ::flock(theirs, LOCK_EX | LOCK_NB) == 0;
        const bool given = ::chown(folder, ::getuid() + 4242, ::getgid()) == 0;
        const bool turnedAway = AlreadyRunning();
        const std::string theirFolder = SafeRuntimeFolder();
        // The user's own folder, but open to others' writing.
        (void)!::chown(folder, ::getuid(), ::getgid());
        ::chmod(folder, 0777);
        const std::string openFolder = SafeRuntimeFolder();
        ::chmod(folder, 0700);
        const std::string ownFolder = SafeRuntimeFolder();
        ::close(theirs);
        for (const auto& [name, value] : {std::pair{"TMPDIR", oldTmp}, std::pair{"XDG_RUNTIME_DIR", oldRuntime}})
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        QVERIFY(heldByThem && given);
        QVERIFY(!turnedAway);
        QVERIFY(theirFolder.empty() && openFolder.empty());
        QCOMPARE(QByteArray::fromStdString(ownFolder), folder);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
