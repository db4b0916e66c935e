// Soak run (not a test): renders on a 1200 x 1200 canvas with the window shown
// for a long time, and reports the resident memory after the first minute and
// at the end. Run under Xvfb or on a desktop:
//   xvfb-run -a build/bench/fernweave_soak [seconds, default 600]
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>

#include "canvas_document.h"
#include "canvas_image.h"
#include "dialogs.h"
#include "fractal_state.h"
#include "main_window.h"
#include "strokes.h"

namespace {

long ResidentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace fernweave;
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(61, std::atoi(argv[1])) : 600;

    FractalState state;
    TQtDialogs dialogs;
    TfrmMain window(state, dialogs);
    window.Document().NewPicture(Picture24(1200, 1200), TResolution{72, 72});
    window.CenterCanvas();
    window.show();

    // A Sierpinski triangle filling the canvas, in three colours.
    const int pts[] = {600, 20, 20, 1180, 1180, 1180, 600, 20, 310, 600, 890, 600,
                       310, 600, 20, 1180, 600, 1180, 890, 600, 600, 1180, 1180, 1180};
    const TColor colors[] = {0x0000FF, 0x00FF00, 0xFF0000};
    state.BeginDrawing();
    for (int i = 0; i < 12; ++i) state.AddPoint(pts[2 * i], pts[2 * i + 1], colors[(i / 3 + 2) % 3], true);
    DrawObjectOutline(window.Canvas(), state);
    QMetaObject::invokeMethod(&window, "mnuRenderStartClick");

    long afterFirstMinute = 0;
    QTimer::singleShot(60 * 1000, [&] { afterFirstMinute = ResidentKiB(); });
    QTimer::singleShot(seconds * 1000, [&] {
        const long atEnd = ResidentKiB();
        QMetaObject::invokeMethod(&window, "mnuRenderStopClick");
        std::printf("soak: %d s rendering on 1200 x 1200 with the window shown\n", seconds);
        std::printf("resident memory after the first minute: %ld KiB, at the end: %ld KiB, difference: %+ld KiB\n",
                    afterFirstMinute, atEnd, atEnd - afterFirstMinute);
        std::printf("%s\n", std::labs(atEnd - afterFirstMinute) <= 1024 ? "within 1 MiB" : "MORE THAN 1 MiB");
        QTimer::singleShot(500, &app, [&] {
            window.Document().FSaved = true;  // nothing to ask about
            app.quit();
        });
    });
    return app.exec();
}
