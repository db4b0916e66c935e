// Files from outside the dialogs: the command line, the hand-over from a
// second start (the real program as that second start), and drops.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
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
        Invoke(w, "mnuRenderStopClick");
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
        QCOMPARE(c.File, std::string("a.png"));
        QCOMPARE(c.Files, (std::vector<std::string>{"a.png", "b.png"}));
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
        w->Document().FSaved = true;
        w->OpenFile(Path("sierpinski.dat"));
        QVERIFY(w->RenderActive());
        QVERIFY(dialogs->shown.empty());
        const float identity[6] = {1, 0, 0, 0, 1, 0};
        for (int i = 0; i < 6; ++i) QCOMPARE(state->PlacementMap[i], identity[i]);
        QVERIFY(state->UndoBitmap == before);  // the picture before went to the undo slot
        Stop();
        QVERIFY(state->CurrentObject() == drawn);
        QVERIFY(!w->Document().FSaved);
        QVERIFY(w->AutoHint());

        // An unsaved rendering: the picture waits for the answer.
        const Picture24 picture(30, 20, MakeColor(9, 8, 7));
        const QString png = WritePng("p.png", picture);
        dialogs->answers = {TDialogs::Answer::Cancel, TDialogs::Answer::No};
        w->OpenFile(png);
        QCOMPARE(dialogs->shown.back().text, QString("Save the Picture?"));
        QVERIFY(w->Canvas().Width() != 30);
        w->OpenFile(png);
        QVERIFY(w->Canvas() == picture);
        QCOMPARE(w->Document().Resolution, (TResolution{150, 150}));

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

    // The program started a second time hands its files over, in order. With
    // nobody listening it tries until its deadline and says what happened.
    void aSecondStartHandsItsFilesOverAndBusyFilesWait() {
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
            QVERIFY2(err.startsWith("fernweave: a Fernweave holds the lock, but nothing accepted a connection at ") &&
                         err.contains("within 5 s") && err.count('\n') == 1,
                     err.constData());
        }
        TFileReceiver receiver(folder);  // the lock holder clears what is left
        QVERIFY(receiver.Listening());
        QStringList received;
        connect(&receiver, &TFileReceiver::FileReceived, w, [&](const QString& name) {
            received << QFileInfo(name).fileName();
            w->OpenFileFromOutside(name);
        }, Qt::QueuedConnection);
        const Picture24 p(17, 11, MakeColor(40, 50, 60)), q(5, 5), r(6, 7, MakeColor(1, 2, 3));
        WritePng("p.png", p);
        WritePng("q.png", q);
        WritePng("r.png", r);
        // Relative names reach the instance whole, every one, in order.
        QProcess* first = Program({"q.png", "p.png"}, true, dir->path());
        QTRY_VERIFY_WITH_TIMEOUT(first->state() == QProcess::NotRunning, 20000);
        QCOMPARE(first->exitCode(), 0);
        QTRY_COMPARE(received, (QStringList{"q.png", "p.png"}));
        QTRY_VERIFY(w->Canvas() == p);

        // While drawing, handed files wait, and open in order once the drawing ends.
        state->BeginDrawing();
        state->AddPoint(5, 5, 0xFFFFFF, true);
        QProcess* second = Program({Path("r.png"), Path("q.png")});
        QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 20000);
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE(received.size(), 4);
        QVERIFY(w->Canvas() == p);
        QVERIFY(Find<QLabel>(w, "lblWaitingFiles")->isVisible());
        QCOMPARE(Find<QLabel>(w, "lblWaitingFiles")->text(), QString("2 files waiting"));
        w->CancelDrawingOnCanvas();
        QTRY_VERIFY(w->WaitingFiles().isEmpty());
        QVERIFY(w->Canvas() == q);  // r opened, then q
        QVERIFY(!Find<QLabel>(w, "lblWaitingFiles")->isVisible());
    }

    // A flood of idle connections holds only a few descriptors, never takes the
    // socket away, and a second start gets through once it is over.
    void aFloodOfIdleConnectionsLeavesTheHandOverWorking() {
        const std::string folder = dir->path().toStdString();
        QVERIFY(!AlreadyRunning(folder));
        TFileReceiver receiver(folder);
        QVERIFY(receiver.Listening());
        QStringList received;
        connect(&receiver, &TFileReceiver::FileReceived, w, [&](const QString& name) { received << name; });
        const auto fds = [] { return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(); };
        const auto fdsBefore = fds();
        // The flood comes from a child process, which holds its ends until it is stopped.
        const std::string path = HandOverSocketPath(folder);
        {  // the flood lasts until the end of this block
            const pid_t flooder = ::fork();
            if (flooder == 0) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
                for (int i = 0; i < 900; ++i) {
                    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
                    if (fd < 0) break;
                    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                }
                ::pause();
                ::_exit(0);
            }
            QVERIFY(flooder > 0);
            const std::unique_ptr<void, std::function<void(void*)>> stopFlood(this, [flooder](void*) {
                ::kill(flooder, SIGKILL);
                ::waitpid(flooder, nullptr, 0);
            });
            QTRY_COMPARE(receiver.OpenConnections(), TFileReceiver::MaxOpenConnections);
            // Idle connections are dropped at their deadline and others taken in their place.
            QTRY_VERIFY_WITH_TIMEOUT(receiver.AcceptedConnections() >= 3 * TFileReceiver::MaxOpenConnections, 20000);
            QVERIFY(receiver.OpenConnections() <= TFileReceiver::MaxOpenConnections);
            // Those taken, those Qt holds for us, and a few of its own.
            QVERIFY2(fds() <= fdsBefore + 2 * TFileReceiver::MaxOpenConnections + 4,
                     QByteArray::number(fds()) + " descriptors, " + QByteArray::number(fdsBefore) + " before");
            QVERIFY(QFileInfo::exists(QString::fromStdString(path)));
            QVERIFY(receiver.Listening());
        }
        WritePng("after.png", Picture24(3, 3));
        QProcess* p = Program({Path("after.png")});
        QTRY_VERIFY_WITH_TIMEOUT(p->state() == QProcess::NotRunning, 20000);
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        QTRY_COMPARE(received, QStringList{Path("after.png")});
    }

    // $XDG_RUNTIME_DIR counts only when it is the user's own with mode 0700;
    // otherwise the per-user folder in the temporary folder stands in.
    void theRuntimeFolderMustBeTheUsersAlone() {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir->path().toLocal8Bit());
        const std::string fallback = dir->path().toStdString() + "/fernweave-" + std::to_string(::getuid());
        QDir(dir->path()).mkdir("shared");
        const QString shared = Path("shared");
        qputenv("XDG_RUNTIME_DIR", shared.toLocal8Bit());
        std::vector<std::string> chosen;
        for (const auto mode : {0700, 0755, 0770, 01777, 0500}) {
            QVERIFY(::chmod(shared.toLocal8Bit().constData(), mode) == 0);
            chosen.push_back(SafeRuntimeFolder());
        }
        QVERIFY(QFile::link(shared, Path("link")));
        qputenv("XDG_RUNTIME_DIR", Path("link").toLocal8Bit());
        chosen.push_back(SafeRuntimeFolder());
        ::chmod(shared.toLocal8Bit().constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime);
        tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
        QCOMPARE(chosen, (std::vector<std::string>{shared.toStdString(), fallback, fallback, fallback, fallback,
                                                   fallback}));
        QCOMPARE(QFileInfo(QString::fromStdString(fallback)).permissions() & 0x0077, QFileDevice::Permissions{});
    }
};

QTEST_MAIN(OutsideFilesTest)
#include "outside_files_test.moc"
