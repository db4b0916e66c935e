// Files from outside the dialogs: the command line, the hand-over from a
// second start (the real program as that second start), and drops.
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "canvas_image.h"
#include "command_line.h"
#include "file_handover.h"
#include "instance_lock.h"
#include "main_window.h"
#include "object_file.h"
#include "png_codec.h"
#include "strokes.h"
#include "window_fixture.h"

using namespace fernweave;

class OutsideFilesTest : public QObject, TWindowTest {
    Q_OBJECT

    void Stop() {
        QTRY_VERIFY_WITH_TIMEOUT(state->PaintedBits.Size() > 0, 20000);
        w->mnuRenderStopClick();
        QTRY_VERIFY_WITH_TIMEOUT(!w->RenderActive(), 20000);
    }
    QString WritePng(const QString& name, const Picture24& picture) {
        const auto bytes = EncodePng(picture, PackResolution({150, 150}));
        QFile f(Path(name));
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return Path(name);
    }
    // The program itself, with the lock's folder pointed at the test's.
    QProcess* Program(const QStringList& args, bool display = true, const QString& folder = {}) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir->path());
        env.remove("DISPLAY");
        if (display)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.remove("QT_QPA_PLATFORM");
        p->setProcessEnvironment(env);
        if (!folder.isEmpty()) p->setWorkingDirectory(folder);
        p->start(FERNWEAVE_BINARY, args);
        return p;
    }

private slots:
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { CloseWindow(); }

    void commandLineLeavesTheToolkitsOptions() {
        const char* args[] = {"fernweave", "-platform", "offscreen", "-style=fusion", "--display", ":9",
                              "-reverse",  "a.png",     "b.png"};
        TCommandLine c = ParseCommandLine(9, args);
        QVERIFY(c.Action == TCommandLine::TAction::Run);
        QCOMPARE(c.File, std::string("a.png"));  // the second is ignored
        const char* ended[] = {"fernweave", "--", "-odd.png"};
        QCOMPARE(ParseCommandLine(3, ended).File, std::string("-odd.png"));
        const char* unknown[] = {"fernweave", "a.png", "--frobnicate"};
        c = ParseCommandLine(3, unknown);
        QVERIFY(c.Action == TCommandLine::TAction::Usage);
        QVERIFY(c.Error.find("--frobnicate") != std::string::npos);

        // --help and --version need no display; an unknown option gets one line and 2.
        for (const auto& [arg, code, text] : {std::tuple{"--version", 0, "MIT licence"}, {"--help", 0, "Usage:"},
                                              {"--frobnicate", 2, "fernweave: unknown option"}}) {
            QProcess* p = Program({arg}, false);
            QVERIFY(p->waitForFinished(20000));
            QCOMPARE(p->exitCode(), code);
            const QByteArray out = code == 0 ? p->readAllStandardOutput() : p->readAllStandardError();
            QVERIFY2(out.contains(text), out.constData());
            if (code != 0) QCOMPARE(out.count('\n'), 1);
        }
    }

    void objectsRenderWhereTheyWereDrawnAndPicturesAskFirst() {
        Render();
        QVERIFY(WriteObjectFile(*state, Path("sierpinski.dat").toStdString()));  // the bytes decide, not the name
        const TIfsObject drawn = state->CurrentObject();
        const Picture24 before = w->Canvas();
        w->FSaved = true;
        w->OpenFile(Path("sierpinski.dat"));
        QVERIFY(w->RenderActive());
        QVERIFY(dialogs->shown.empty());
        const float identity[6] = {1, 0, 0, 0, 1, 0};
        for (int i = 0; i < 6; ++i) QCOMPARE(state->PlacementMap[i], identity[i]);
        QVERIFY(state->UndoBitmap == before);  // the picture before went to the undo slot
        Stop();
        QVERIFY(state->CurrentObject() == drawn);
        QVERIFY(!w->FSaved);
        QVERIFY(w->FAutoHint);

        // An unsaved rendering: the picture waits for the answer.
        const Picture24 picture(30, 20, MakeColor(9, 8, 7));
        const QString png = WritePng("p.png", picture);
        dialogs->answers = {TDialogs::Answer::Cancel, TDialogs::Answer::No};
        w->OpenFile(png);
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QVERIFY(w->Canvas().Width() != 30);
        w->OpenFile(png);
        QVERIFY(w->Canvas() == picture);
        QCOMPARE(w->Resolution, (TResolution{150, 150}));

        const std::pair<QString, QString> refused[] = {{"text.IFS", "It is not a valid object."},
                                                       {"notes.txt", "Fail to open the picture."},
                                                       {"gone.png", "Fail to open the picture."}};
        for (const auto& [name, text] : refused) {
            if (!name.startsWith("gone")) {
                QFile f(Path(name));
                f.open(QIODevice::WriteOnly);
                f.write("x y z");
            }
            w->OpenFile(Path(name));
            QCOMPARE(dialogs->shown.back().text, text);
            QCOMPARE(dialogs->shown.back().title, QString(name.endsWith("IFS") ? "Import Object" : "Open Picture"));
        }
        QVERIFY(w->Canvas() == picture);
    }

    void dropsOpenInTheIdleStateOnly() {
        const Picture24 picture(25, 15, MakeColor(1, 200, 3));
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(WritePng("drop.png", picture))});
        const QPoint at = w->rect().center();
        state->BeginDrawing();
        state->AddPoint(5, 5, 0xFFFFFF, true);  // a drawing under way
        QDragEnterEvent refusedEnter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &refusedEnter);
        QVERIFY(!refusedEnter.isAccepted());
        QDropEvent refusedDrop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &refusedDrop);
        QCoreApplication::processEvents();
        QVERIFY(w->Canvas().Width() != 25);

        w->CancelDrawingOnCanvas();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drop);
        QTRY_VERIFY(w->Canvas() == picture);
        delete data;
    }

    // The program started a second time hands its file over; without an answer it says so and ends with 1.
    void aSecondStartHandsItsFileOver() {
        const std::string folder = dir->path().toStdString();
        QFile stale(QString::fromStdString(HandOverSocketPath(folder)));
        stale.open(QIODevice::WriteOnly);
        stale.close();
        QVERIFY(!AlreadyRunning(folder));  // this test holds the lock now
        {
            QProcess* p = Program({Path("p.png")});  // the stale socket answers nothing
            QVERIFY(p->waitForFinished(20000));
            QCOMPARE(p->exitCode(), 1);
            const QByteArray err = p->readAllStandardError();
            QVERIFY2(err.startsWith("fernweave: ") && err.count('\n') == 1, err.constData());
        }
        TFileReceiver receiver(folder);  // the lock holder clears what is left
        QVERIFY(receiver.Listening());
        int received = 0;
        connect(&receiver, &TFileReceiver::FileReceived, w, [&](const QString& name) {
            ++received;
            w->OpenFileFromOutside(name);
        }, Qt::QueuedConnection);
        const Picture24 picture(17, 11, MakeColor(40, 50, 60));
        WritePng("p.png", picture);
        // A relative name reaches the instance whole; only the first file counts.
        QProcess* p = Program({"p.png", "ignored.png"}, true, dir->path());
        QTRY_VERIFY_WITH_TIMEOUT(p->state() == QProcess::NotRunning, 20000);
        QCOMPARE(p->exitCode(), 0);
        QTRY_COMPARE(received, 1);
        QVERIFY(w->Canvas() == picture);
        // While drawing, a file handed over is dropped.
        state->BeginDrawing();
        state->AddPoint(5, 5, 0xFFFFFF, true);
        WritePng("q.png", Picture24(5, 5));
        QProcess* q = Program({Path("q.png")});
        QTRY_VERIFY_WITH_TIMEOUT(q->state() == QProcess::NotRunning, 20000);
        QCOMPARE(q->exitCode(), 0);
        QTRY_COMPARE(received, 2);
        QVERIFY(w->Canvas() == picture);
        w->CancelDrawingOnCanvas();
    }
};

QTEST_MAIN(OutsideFilesTest)
#include "outside_files_test.moc"
