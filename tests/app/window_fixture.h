// The main window as the window tests use it: a fresh engine state, message
// boxes and file dialogs answered by the test, the window shown.
#pragma once

#include <QtTest>
#include <memory>

#include "fake_dialogs.h"
#include "main_window.h"

namespace fernweave {

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

    // In a test's cleanup(): a rendering still running is stopped first.
    void Close() {
        if (w) w->RenderEndGate = nullptr;  // a test's gate dies with the test
        if (w && w->RenderActive()) {
            w->mnuRenderStopClick();
            QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive(), 20000);
        }
        if (w) {
            QTRY_VERIFY_WITH_TIMEOUT(w->FSaveWorkers.empty(), 20000);
        }
        w.reset();
    }
};

}  // namespace fernweave
