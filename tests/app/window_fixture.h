// The main window as the window tests use it: a fresh engine state, message
// boxes and file dialogs answered by the test, the window shown.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "canvas_document.h"
#include "canvas_image.h"
#include "color_panel.h"
#include "fake_dialogs.h"
#include "html_help.h"
#include "main_window.h"
#include "poster_worker.h"
#include "renderer.h"
#include "save_worker.h"
#include "strokes.h"
#include "window_hooks.h"
#include "worker.h"

namespace fernweave {

// The window's controls by their object names; `window` is a pointer or an
// owning pointer to the window. Null when there is none (yet).
template <class T = QAction, class W>
T* Find(const W& window, const QString& name) {
    return (&*window)->template findChild<T*>(name);
}
template <class W>
QLabel* StatusPanel(const W& window, int i) {
    return Find<QLabel>(window, QString("StatusPanel%1").arg(i));
}

// Runs a command's handler by its name, as a direct call would: whatever the
// command table says, so that a test also reaches a handler's own checks.
template <class W>
void Invoke(const W& window, const char* handler) {
    if (!QMetaObject::invokeMethod(&*window, handler, Qt::DirectConnection))
        QTest::qFail(qPrintable(QString("no handler ") + handler), __FILE__, __LINE__);
}

struct TWindowFixture {
    std::unique_ptr<FractalState> state;
    std::unique_ptr<TFakeDialogs> dialogs;
    std::unique_ptr<TfrmMain> w;

    // In a test's init(): QVERIFY(fixture.Open()).
    bool Open() {
        state = std::make_unique<FractalState>();
        dialogs = std::make_unique<TFakeDialogs>();
        w = std::make_unique<TfrmMain>(*state, *dialogs);
        w->show();
        return QTest::qWaitForWindowExposed(w.get());
    }

    // Draws and renders a Sierpinski triangle, then stops.
    void RenderSierpinski() {
        const int pts[] = {275, 20, 40, 340, 510, 340, 275, 20, 158, 180, 392, 180,
                           158, 180, 40, 340, 275, 340, 392, 180, 275, 340, 510, 340};
        state->BeginDrawing();
        for (int i = 0; i < 12; ++i) state->AddPoint(pts[2 * i], pts[2 * i + 1], 0x00FF00 + i, true);
        DrawObjectOutline(w->Canvas(), *state);
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(state->Rendering);
        QTRY_VERIFY_WITH_TIMEOUT(state->PaintedBits.Size() > 0, 20000);
        Invoke(w, "mnuRenderStopClick");
        QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive() && StatusPanel(w, 3)->text() == "Ready", 20000);
    }

    // In a test's cleanup(): a rendering still running is stopped first.
    void Close() {
        if (w) w->Hooks().RenderEndGate = nullptr;  // a test's gate dies with the test
        if (w && w->RenderActive()) {
            Invoke(w, "mnuRenderStopClick");
            QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive(), 20000);
        }
        if (w) {
            QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TSavePicture>(), 20000);
        }
        w.reset();
    }
};

// What the window tests share: the fixture, short names for its parts and a
// fresh folder for the test's files. A test class derives from QObject and
// this, and calls OpenWindow() in its init() and CloseWindow() in cleanup().
struct TWindowTest {
    TWindowFixture window;
    FractalState* state = nullptr;
    TFakeDialogs* dialogs = nullptr;
    TfrmMain* w = nullptr;
    std::unique_ptr<QTemporaryDir> dir;

    QString Path(const QString& name) const { return dir->filePath(name); }
    void Render() { window.RenderSierpinski(); }

    bool OpenWindow() {
        dir = std::make_unique<QTemporaryDir>();
        if (!window.Open()) return false;
        state = window.state.get();
        dialogs = window.dialogs.get();
        w = window.w.get();
        return true;
    }
    void CloseWindow() { window.Close(); }
};

}  // namespace fernweave
