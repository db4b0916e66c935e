#include <QImage>
#include <QPainter>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <thread>

#include "paced_display.h"

using namespace fernweave;

namespace {

class TCountingWidget : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

}  // namespace

class PacedDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void intervalFollowsTheScreenAndThePaintCost() {
        QCOMPARE(FrameInterval(60, 0), 17);  // rounded up: never faster than the screen
        QCOMPARE(FrameInterval(0, 0), 17);   // unknown rate: 60 Hz
        QCOMPARE(FrameInterval(std::nan(""), 0), 17);
        QCOMPARE(FrameInterval(144, 0.1), 7);
        QCOMPARE(FrameInterval(60, 1.3), 22);  // a costly paint slows the rate
        QCOMPARE(FrameInterval(60, 80.0), SlowestFrameIntervalMs);  // but not below 25 Hz
        QCOMPARE(FrameInterval(10, 0), 100);   // a slow screen still wins
    }

    void marksFromAWorkerBecomeFramesAndTheClockRests() {
        TCountingWidget widget;
        widget.resize(40, 30);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        TFrameClock clock(&widget);
        int before = 0;
        clock.BeforeFrame = [&] { before = widget.paints + 1; };

        const int shown = widget.paints;
        std::thread worker([request = clock.WorkerRepaint()] {
            for (int i = 0; i < 1000; ++i) request();
        });
        worker.join();
        QTRY_VERIFY_WITH_TIMEOUT(widget.paints > shown, 5000);
        QCOMPARE(before, widget.paints);  // BeforeFrame came first
        QTRY_VERIFY_WITH_TIMEOUT(!clock.Ticking(), 5000);
        QVERIFY(widget.paints - shown < 1000);  // marks are coalesced

        // Running, it paints with no mark at all; the end paints at once and rests.
        clock.Start();
        const int started = widget.paints;
        QTRY_VERIFY_WITH_TIMEOUT(widget.paints >= started + 3, 5000);
        const int last = widget.paints;
        clock.Finish();
        QCOMPARE(widget.paints, last + 1);
        QVERIFY(!clock.Running());
        QTRY_VERIFY_WITH_TIMEOUT(!clock.Ticking(), 5000);
    }

    void paintingCopiesExactlyTheExposedPixels() {
        // 4 pixels a row: rows have no padding, so the last pixel ends the buffer.
        Picture24 picture(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) SetPixel24(picture, x, y, MakeColor(10 + x, 20 + y, 40 * x + y));
        QImage screen(6, 5, QImage::Format_RGB32);
        screen.fill(QColor(1, 2, 3));
        QImage scratch;
        QRegion region(QRect(1, 0, 3, 2));
        region += QRect(0, 2, 6, 3);  // partly beyond the picture
        {
            QPainter painter(&screen);
            PaintPicture24(painter, region, picture, scratch);
        }
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool painted = x < 4 && y < 3 && region.contains(QPoint(x, y));
                const QColor want = painted ? QColor(10 + x, 20 + y, 40 * x + y) : QColor(1, 2, 3);
                QCOMPARE(screen.pixelColor(x, y), want);
            }
    }
};

QTEST_MAIN(PacedDisplayTest)
#include "paced_display_test.moc"
