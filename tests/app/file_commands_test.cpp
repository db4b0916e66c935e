#include <sys/resource.h>

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fstream>
#include <mutex>

#include "bmp_codec.h"
#include "canvas_image.h"
#include "image_quality_dialog.h"
#include "jpeg_codec.h"
#include "main_window.h"
#include "window_fixture.h"
#include "new_image_dialog.h"
#include "object_file.h"
#include "picture_loader.h"
#include "png_codec.h"
#include "strokes.h"

using namespace fernweave;

namespace {

QByteArray Slurp(const QString& name) {
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:").
long long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
    return -1;
}

void Spit(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// The user's own folders, empty for the whole run, set before Qt reads them:
// the real file dialog must leave them so.
struct TPrivateHome {
    QTemporaryDir dir;
    TPrivateHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) qputenv(name, dir.path().toLocal8Bit());
    }
} privateHome;

// A slow save: its writer waits until the test lets it go, for ten seconds at most.
struct THeldWriter {
    static inline std::mutex lock;
    static inline std::condition_variable changed;
    static inline bool holding = false;
    static inline bool released = false;

    static bool Write(int fd, const std::uint8_t* data, std::size_t size) {
        std::unique_lock<std::mutex> guard(lock);
        holding = true;
        changed.wait_for(guard, std::chrono::seconds(10), [] { return released; });
        holding = false;
        guard.unlock();
        return WriteAllToDescriptor(fd, data, size);
    }
    static bool Holding() {
        std::lock_guard<std::mutex> guard(lock);
        return holding;
    }
    static void Release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        changed.notify_all();
    }
};

}  // namespace

class FileCommandsTest : public QObject, TWindowTest {
    Q_OBJECT

    void Choose(const QString& name, int type = 1) { dialogs->fileAnswers.push_back(TFileChoice{name, type}); }
    const TFakeDialogs::Shown& Last() const { return dialogs->shown.back(); }

    void WaitForSaves() { QTRY_VERIFY_WITH_TIMEOUT(!w->Workers().Find<TSavePicture>(), 20000); }

    // Runs a modal dialog of the program, answering it with `answer` once it shows.
    template <class Dialog, class Answer>
    void WhenShown(Dialog* dialog, Answer answer) {
        QTimer::singleShot(0, dialog, [dialog, answer] {
            QTRY_VERIFY(dialog->isVisible());
            answer(dialog);
        });
    }

    // Load's request to the real file dialog, with its preview, in the test's folder.
    TFileRequest OpenPictureRequest(const QString& filter) const {
        TFileRequest request;
        request.Title = "Open Picture";
        request.Folder = dir->path();
        request.Filters = {filter};
        request.PicturePreview = true;
        return request;
    }

private slots:
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { CloseWindow(); }

    // --- objects ---

    void exportWithoutAnObjectSaysSo() {
        Invoke(w, "mnuFileExportClick");
        QCOMPARE(Last().text, QString("No Object Exists."));
        QCOMPARE(Last().title, QString("Export Object"));
        QVERIFY(Last().icon == TDialogs::Icon::Information);
        QVERIFY(dialogs->filesAsked.empty());
    }

    void exportWritesTheObjectByteForByte() {
        Render();
        state->MapCount = 2;  // keep two of the three maps
        Choose(Path("two.ifs"));
        Invoke(w, "mnuFileExportClick");
        QVERIFY(dialogs->shown.empty());
        const TFileRequest& asked = dialogs->filesAsked.back();
        QCOMPARE(asked.Title, QString("Export the Object to File"));
        // The object file stays the first type, and the default.
        QCOMPARE(asked.Filters.first(), QString("IFS Object File(*.ifs)"));
        QCOMPARE(asked.FilterIndex, 1);
        QCOMPARE(asked.DefaultSuffix, QString("ifs"));
        QVERIFY(asked.Save);
        const QByteArray bytes = Slurp(Path("two.ifs"));
        QCOMPARE(bytes.size(), 102);
        QCOMPARE(bytes.left(6), QByteArray("\xB6\xA3\x02\x00\x00\x00", 6));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&state->Maps[2]), 36), bytes.mid(66, 36));
    }

    void aFailedExportSaysSoAndKeepsTheOldFile() {
        Render();
        Spit(Path("plain"), "x");
        Choose(Path("plain/inside.ifs"));
        Invoke(w, "mnuFileExportClick");
        QCOMPARE(Last().text, QString("Fail to Export Object."));
        QCOMPARE(Last().title, QString("Export Object"));
        QVERIFY(Last().icon == TDialogs::Icon::Warning);
        QCOMPARE(Slurp(Path("plain")), QByteArray("x"));
        // Cancelling the dialog writes nothing and says nothing.
        const auto shown = dialogs->shown.size();
        Invoke(w, "mnuFileExportClick");
        QCOMPARE(dialogs->shown.size(), shown);
    }

    void dialogsStartInAnExistingFolderOfTheirOwn() {
        const QString program = Path("program"), home = Path("home");
        for (const QString& folder : {program + "/Objects", program + "/Pictures", home + "/Documents"})
            QVERIFY(QDir().mkpath(folder));
        QSet<QString> readOnly;
        TFolderPlaces places{program, false, home + "/Pictures", home + "/Documents", home,
                             [&](const QString& folder) { return !readOnly.contains(folder); }};
        auto folders = [&] {
            QStringList f;
            for (auto use : {TFolderUse::ImportObject, TFolderUse::ExportObject, TFolderUse::LoadPicture,
                             TFolderUse::SavePicture})
                f << QDir(home).relativeFilePath(DialogFolder(use, places));
            return f;
        };
        // Run from its own folder: the folders beside the executable.
        QCOMPARE(folders(), QStringList({"../program/Objects", "../program/Objects", "../program/Pictures",
                                         "../program/Pictures"}));
        // Read-only: reading starts there still, writing in the user's folder or home.
        readOnly = {program + "/Objects", program + "/Pictures"};
        QCOMPARE(folders(), QStringList({"../program/Objects", "Documents", "../program/Pictures", "."}));
        // Missing: never a folder that is not there.
        QVERIFY(QDir(program + "/Pictures").removeRecursively());
        QCOMPARE(folders(), QStringList({"../program/Objects", "Documents", ".", "."}));
        // Installed: only Import in the shipped objects.
        readOnly.clear();
        places.Installed = true;
        QVERIFY(QDir().mkpath(home + "/Pictures"));
        QCOMPARE(folders(), QStringList({"../program/Objects", "Documents", "Pictures", "Pictures"}));
        // The commands ask for theirs.
        Render();
        Invoke(w, "mnuFileImportClick");
        Invoke(w, "mnuFileExportClick");
        Invoke(w, "mnuFileLoadClick");
        Invoke(w, "mnuFileSaveClick");
        QCOMPARE(dialogs->filesAsked.size(), 4u);
        const TFolderUse uses[] = {TFolderUse::ImportObject, TFolderUse::ExportObject, TFolderUse::LoadPicture,
                                   TFolderUse::SavePicture};
        for (int i = 0; i < 4; ++i) QCOMPARE(dialogs->filesAsked[i].Folder, DialogFolder(uses[i]));
    }

    void theRealFileDialogWritesNoSettings() {
        TQtDialogs real;
        const TFileRequest request = OpenPictureRequest("Bitmaps (*.bmp)");
        QString typed = "?", shownFolder;
        QTimer::singleShot(0, w, [&] {
            QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
            auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            typed = shown->findChild<QLineEdit*>("fileNameEdit")->text();
            shownFolder = shown->directory().absolutePath();
            shown->reject();
        });
        QVERIFY(!real.ChooseFile(w, request));
        QCOMPARE(typed, QString());
        QCOMPARE(shownFolder, dir->path());
        const QDir home(privateHome.dir.path());
        QCOMPARE(home.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // The preview reads through the program's guarded readers: a good PNG
    // shows, and a 44-byte file claiming a 2 GiB chunk costs next to nothing.
    void theLoadDialogsPreviewReadsThroughTheGuardedReaders() {
        const auto png = EncodePng(Picture24(30, 20, MakeColor(0, 0, 255)), PackResolution({72, 72}));
        Spit(Path("good.png"), QByteArray(reinterpret_cast<const char*>(png.data()), int(png.size())));
        QByteArray bomb(reinterpret_cast<const char*>(png.data()), 33);  // the signature and IHDR
        bomb += QByteArray::fromHex("7ffffff0") + "tEXtabc";
        Spit(Path("bomb.png"), bomb);
        TQtDialogs real;
        const TFileRequest request = OpenPictureRequest("PNG Image File (*.png)");
        bool good = false, bombShown = true;
        long long peakGrowthKiB = -1;
        QTimer::singleShot(0, w, [&] {
            QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
            auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* preview = shown->findChild<QLabel*>("picturePreview");
            if (preview) {
                emit shown->currentChanged(Path("good.png"));
                good = !preview->pixmap().isNull();
                std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
                const long long before = StatusKiB("VmRSS:");
                emit shown->currentChanged(Path("bomb.png"));
                peakGrowthKiB = StatusKiB("VmHWM:") - before;
                bombShown = !preview->pixmap().isNull();
            }
            shown->reject();
        });
        QVERIFY(!real.ChooseFile(w, request));
        QVERIFY(good);
        QVERIFY(!bombShown);
        QVERIFY2(peakGrowthKiB >= 0 && peakGrowthKiB < 16 * 1024, QByteArray::number(peakGrowthKiB));
    }

    void refusedImportsLeaveTheWholeObject() {
        Render();
        state->Maps[120].Padding[1] = 7;  // a stale record must survive too
        const TIfsObject before = state->CurrentObject();
        const QByteArray good = QByteArray(reinterpret_cast<const char*>(EncodeObject(before).data()), 30 + 3 * 36);
        QByteArray noMaps = good;
        noMaps[2] = 0;
        QByteArray tooMany = good;
        tooMany[2] = char(121);
        const QByteArray cases[] = {QByteArray(), QByteArray("\xB6"), QByteArray("\xA3\xB6") + good.mid(2), noMaps,
                                    tooMany, good.left(good.size() - 1)};
        for (const QByteArray& bytes : cases) {
            Spit(Path("bad.ifs"), bytes);
            Choose(Path("bad.ifs"));
            Invoke(w, "mnuFileImportClick");
            QCOMPARE(Last().text, QString("It is not a valid object."));
            QCOMPARE(Last().title, QString("Import Object"));
            QVERIFY(Last().icon == TDialogs::Icon::Warning);
            QVERIFY(state->CurrentObject() == before);
            QVERIFY(!state->ObjectImported);
        }
        Choose(Path("missing.ifs"));
        Invoke(w, "mnuFileImportClick");
        QCOMPARE(Last().text, QString("It is not a valid object."));
        QVERIFY(state->CurrentObject() == before);
    }

    void importPlaceUndoThenExportWritesTheObjectFromBefore() {
        Render();
        const TIfsObject before = state->CurrentObject();
        // Another object to import: one map.
        TIfsObject other = before;
        other.MapCount = 1;
        other.Maps[1].Padding[0] = 0x5A;
        const auto otherBytes = EncodeObject(other);
        Spit(Path("other.ifs"), QByteArray(reinterpret_cast<const char*>(otherBytes.data()), int(otherBytes.size())));

        const bool exportWas = Find(w, "mnuFileExport")->isEnabled();
        Choose(Path("other.ifs"));
        Invoke(w, "mnuFileImportClick");
        QVERIFY(state->ObjectImported);
        QCOMPARE(state->MapCount, 1);
        QCOMPARE(StatusPanel(w, 1)->text(), QString("Draw a triangle to render the object"));
        QVERIFY(!w->AutoHint());
        QCOMPARE(Find(w, "mnuFileExport")->isEnabled(), exportWas);  // commands keep their states

        // The placement triangle: a smaller one.
        for (auto p : {QPoint(100, 300), QPoint(250, 300), QPoint(175, 180)}) {
            QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), p);
            QTest::mousePress(Find<TCanvasImage>(w, "imgPaint"), Qt::LeftButton, Qt::NoModifier, p);
        }
        QVERIFY(state->Rendering);
        QVERIFY(!state->ObjectImported);
        QVERIFY(w->AutoHint());
        Invoke(w, "mnuRenderStopClick");
        QTRY_VERIFY_WITH_TIMEOUT(!state->Rendering && StatusPanel(w, 3)->text() == "Ready", 20000);

        // Exporting now writes the imported object again, padding included.
        Choose(Path("again.ifs"));
        Invoke(w, "mnuFileExportClick");
        QCOMPARE(Slurp(Path("again.ifs")), Slurp(Path("other.ifs")));

        Find(w, "mnuEditUndo")->trigger();
        Choose(Path("before.ifs"));
        Invoke(w, "mnuFileExportClick");
        const auto beforeBytes = EncodeObject(before);
        QCOMPARE(Slurp(Path("before.ifs")),
                 QByteArray(reinterpret_cast<const char*>(beforeBytes.data()), int(beforeBytes.size())));
    }

    void clearNewImageAndUndoAbandonAWaitingImport() {
        Render();
        const TIfsObject before = state->CurrentObject();
        const auto bytes = EncodeObject(before);
        Spit(Path("o.ifs"), QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())));

        Choose(Path("o.ifs"));
        Invoke(w, "mnuFileImportClick");
        QVERIFY(state->ObjectImported);
        Find(w, "mnuEditUndo")->trigger();
        QVERIFY(!state->ObjectImported);
        QVERIFY(w->AutoHint());
        QCOMPARE(StatusPanel(w, 1)->text(), QString());
        Find(w, "mnuEditRedo")->trigger();

        Choose(Path("o.ifs"));
        Invoke(w, "mnuFileImportClick");
        Find(w, "mnuEditClear")->trigger();
        QVERIFY(!state->ObjectImported);
        QCOMPARE(state->MapCount, 0);
        // A placement triangle now starts no rendering: there is nothing to place.
        for (auto p : {QPoint(100, 300), QPoint(250, 300), QPoint(175, 180)}) {
            QTest::mouseMove(Find<TCanvasImage>(w, "imgPaint"), p);
            QTest::mousePress(Find<TCanvasImage>(w, "imgPaint"), Qt::LeftButton, Qt::NoModifier, p);
        }
        QVERIFY(!state->Rendering);
    }

    // --- New Image ---

    void newImageChecksItsFields() {
        TfrmNewImage* d = Find<TfrmNewImage>(w, "frmNewImage");
        d->show();
        QCOMPARE(d->edtWidth->Edit->text(), QString("550"));
        QCOMPARE(d->edtHeight->Edit->text(), QString("364"));
        QCOMPARE(d->edtResolution->Edit->text(), QString("72"));
        int acceptedWidth = 0;
        auto ok = [&](const char* width, const char* height, const char* resolution) {
            d->edtWidth->Edit->setText(width);
            d->edtHeight->Edit->setText(height);
            d->edtResolution->Edit->setText(resolution);
            d->btnOk->click();
            const bool accepted = !d->isVisible();
            if (accepted) {
                acceptedWidth = d->WidthValue();
                d->show();
            }
            return accepted;
        };
        QVERIFY(ok("1", "1200", "1"));
        QVERIFY(ok("1200", "1", "1200"));
        QVERIFY(ok("0007", "364", "72"));
        QCOMPARE(acceptedWidth, 7);
        QVERIFY(dialogs->shown.empty());

        QVERIFY(!ok("0", "364", "72"));
        QCOMPARE(Last().text, QString("Please Input a Number between 1 and 1200."));
        QCOMPARE(Last().title, QString("New Image"));
        QVERIFY(Last().icon == TDialogs::Icon::Information);
        QVERIFY(!ok("550", "1201", "72"));
        QVERIFY(!ok("550", "364", "0"));
        QCOMPARE(dialogs->shown.size(), 3u);

        // Two fields wrong: one message, and the width is the field to mend.
        QVERIFY(!ok("0", "9999", "72"));
        QCOMPARE(dialogs->shown.size(), 4u);
        QCOMPARE(d->focusWidget(), d->edtWidth->Edit);
        QCOMPARE(d->edtWidth->Edit->selectedText(), QString("0"));

        // Text that is no number at all: the command error box.
        QVERIFY(!ok("", "364", "72"));
        QCOMPARE(Last().text, QString("'' is not a valid integer value"));
        QCOMPARE(Last().title, QString("Fernweave 2.0"));
        QVERIFY(Last().icon == TDialogs::Icon::Error);
        QVERIFY(!ok("12a", "364", "72"));
        QCOMPARE(Last().text, QString("'12a' is not a valid integer value"));
        d->reject();
    }

    void newImageKeysAndArrows() {
        TfrmNewImage* d = Find<TfrmNewImage>(w, "frmNewImage");
        d->show();
        QLineEdit* e = d->edtHeight->Edit;
        e->setFocus();
        e->clear();
        QTest::keyClicks(e, "1a2-3 ");
        QCOMPARE(e->text(), QString("123"));
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), QString("12"));
        QTest::keyClick(e, Qt::Key_Up);
        QCOMPARE(e->text(), QString("13"));
        e->setText("1200");
        d->edtHeight->Step(+1);
        QCOMPARE(e->text(), QString("1200"));
        e->setText("1");
        d->edtHeight->Step(-1);
        QCOMPARE(e->text(), QString("1"));
        // Values come back at each opening; the colour stays.
        dialogs->colorAnswers = {QColor(10, 20, 30)};
        d->btnSelect->click();
        QCOMPARE(d->CanvasColor(), MakeColor(10, 20, 30));
        d->reject();
        d->show();
        QCOMPARE(d->edtHeight->Edit->text(), QString("364"));
        QCOMPARE(d->CanvasColor(), MakeColor(10, 20, 30));
        d->reject();
    }

    void newImageFieldsTakeTheEditingKeys() {
        TfrmNewImage* d = Find<TfrmNewImage>(w, "frmNewImage");
        d->show();
        QLineEdit* e = d->edtWidth->Edit;
        e->setFocus();
        // With the texts X11 gives these keys.
        auto key = [e](Qt::Key k, const char* text, Qt::KeyboardModifiers held = {}) {
            QTest::sendKeyEvent(QTest::Click, e, k, QString::fromLatin1(text), held);
        };
        key(Qt::Key_Home, "");
        key(Qt::Key_Delete, "\x7f");
        QCOMPARE(e->text(), QString("50"));
        e->setText("1234");
        key(Qt::Key_A, "\x01", Qt::ControlModifier);
        QCOMPARE(e->selectedText(), QString("1234"));
        key(Qt::Key_C, "\x03", Qt::ControlModifier);
        key(Qt::Key_X, "\x18", Qt::ControlModifier);
        QCOMPARE(e->text(), QString());
        key(Qt::Key_V, "\x16", Qt::ControlModifier);
        key(Qt::Key_V, "\x16", Qt::ControlModifier);
        QCOMPARE(e->text(), QString("1234"));  // the field holds four characters
        QApplication::clipboard()->setText("7x");
        e->clear();
        key(Qt::Key_V, "\x16", Qt::ControlModifier);
        QCOMPARE(e->text(), QString("7x"));  // left to the OK check
        d->reject();
    }

    void newImageMakesAFreshCanvas() {
        Render();
        dialogs->colorAnswers = {QColor(200, 100, 50)};
        WhenShown(Find<TfrmNewImage>(w, "frmNewImage"), [](TfrmNewImage* d) {
            d->btnSelect->click();
            d->edtWidth->Edit->setText("300");
            d->edtHeight->Edit->setText("200");
            d->edtResolution->Edit->setText("150");
            d->btnOk->click();
        });
        Invoke(w, "mnuFileNewClick");
        QCOMPARE(w->Canvas().Width(), 300);
        QCOMPARE(w->Canvas().Height(), 200);
        QVERIFY(w->Canvas() == Picture24(300, 200, MakeColor(200, 100, 50)));
        QCOMPARE(Find<TColorPanel>(w, "pnlColor")->BackColor(), MakeColor(200, 100, 50));
        QCOMPARE(w->Document().Resolution, (TResolution{150, 150}));
        QVERIFY(w->Document().FSaved);
        QCOMPARE(state->MapCount, 0);
        QCOMPARE(state->PaintedBits.Size(), 300u * 200u);
        QVERIFY(!Find(w, "mnuEditUndo")->isEnabled() && !Find(w, "mnuEditRedo")->isEnabled());
        QVERIFY(!Find(w, "mnuFileExport")->isEnabled() && !Find(w, "mnuEditClear")->isEnabled());
        // Cancel changes nothing.
        WhenShown(Find<TfrmNewImage>(w, "frmNewImage"), [](TfrmNewImage* d) { d->btnCancel->click(); });
        Invoke(w, "mnuFileNewClick");
        QCOMPARE(w->Canvas().Width(), 300);
    }

    // --- saving ---

    void imageQualityCaptionFollowsTheTrackBar() {
        TfrmImageQuality* q = Find<TfrmImageQuality>(w, "frmImageQuality");
        QCOMPARE(q->gbImageQuality->title(), QString("Image Quality"));
        q->show();
        QCOMPARE(q->gbImageQuality->title(), QString("Image Quality: 90%"));
        QCOMPARE(q->Quality(), 90);
        q->tbImageQuality->setValue(1);
        QCOMPARE(q->Quality(), 10);
        q->tbImageQuality->setValue(6);
        q->reject();
        q->show();
        QCOMPARE(q->gbImageQuality->title(), QString("Image Quality: 60%"));
        q->tbImageQuality->setValue(10);
        QCOMPARE(q->Quality(), 100);
        q->reject();
    }

    void theExtensionDecidesTheFormatAndTheTypeFillsInAMissingOne() {
        Render();
        w->Document().Resolution = TResolution{300, 150};
        // "Bitmaps" chosen, but the name says JPEG: JPEG bytes, with its quality asked.
        Choose(Path("named.jpg"), 1);
        WhenShown(Find<TfrmImageQuality>(w, "frmImageQuality"), [](TfrmImageQuality* q) {
            q->tbImageQuality->setValue(10);
            q->btnOk->click();
        });
        QVERIFY(w->SavePicture());
        QCOMPARE(dialogs->filesAsked.back().Title, QString("Save Picture"));
        QCOMPARE(dialogs->filesAsked.back().Filters,
                 (QStringList{"Bitmaps (*.bmp)", "JPEG Image File (*.jpg)", "PNG Image File (*.png)"}));
        QCOMPARE(dialogs->filesAsked.back().FilterIndex, 1);
        WaitForSaves();
        QVERIFY(w->Document().FSaved);
        const QByteArray jpeg = Slurp(Path("named.jpg"));
        QCOMPARE(jpeg.left(2), QByteArray("\xFF\xD8"));
        QCOMPARE(quint8(jpeg[13]), quint8(1));
        QCOMPARE((quint8(jpeg[14]) << 8) | quint8(jpeg[15]), 300);
        QCOMPARE((quint8(jpeg[16]) << 8) | quint8(jpeg[17]), 150);

        // "JPEG" chosen for x.PNG: PNG, and no quality to ask.
        Choose(Path("named.PNG"), 2);
        QVERIFY(w->SavePicture());
        QCOMPARE(dialogs->filesAsked.back().FilterIndex, 1);
        WaitForSaves();
        QCOMPARE(Slurp(Path("named.PNG")).left(4), QByteArray("\x89PNG"));
        QVERIFY(LoadPictureFile(Path("named.PNG")).has_value());

        // No extension we write: the chosen type decides.
        Choose(Path("named.data"), 1);
        QVERIFY(w->SavePicture());
        WaitForSaves();
        QCOMPARE(Slurp(Path("named.data")).left(2), QByteArray("BM"));
        QCOMPARE(ReadBmpResolution(Path("named.data").toStdString()), PackResolution({300, 150}));

        // The dialog opens on the type chosen last; cancelling the quality writes nothing.
        Choose(Path("x.jpg"), 3);
        WhenShown(Find<TfrmImageQuality>(w, "frmImageQuality"), [](TfrmImageQuality* q) { q->btnCancel->click(); });
        QVERIFY(!w->SavePicture());
        QCOMPARE(dialogs->filesAsked.back().FilterIndex, 1);
        QVERIFY(!QFile::exists(Path("x.jpg")));
    }

    void aFailedSaveSaysSoAndKeepsThePictureUnsaved() {
        Render();
        Spit(Path("old.bmp"), "precious");
        // A full disk.
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        Choose(Path("old.bmp"), 1);
        QVERIFY(w->SavePicture());
        WaitForSaves();
        ::setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(Last().text, QString("Fail to save the picture."));
        QCOMPARE(Last().title, QString("Save Picture"));
        QVERIFY(!w->Document().FSaved);
        QCOMPARE(Slurp(Path("old.bmp")), QByteArray("precious"));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left

        // A name that cannot be made, and a folder.
        Choose(Path("old.bmp/new.bmp"), 1);
        QVERIFY(w->SavePicture());
        WaitForSaves();
        QCOMPARE(Last().text, QString("Fail to save the picture."));
        QDir(dir->path()).mkdir("folder");
        Choose(Path("folder"), 1);
        QVERIFY(w->SavePicture());
        WaitForSaves();
        QVERIFY(QFileInfo(Path("folder")).isDir());
        QVERIFY(!w->Document().FSaved);
    }

    void aSaveThatEndsAfterTheCanvasChangedLeavesItUnsaved() {
        Render();
        Choose(Path("early.bmp"), 1);
        QVERIFY(w->SavePicture());
        // A new rendering starts before the save's end reaches the window.
        state->BeginDrawing();
        for (int i = 0; i < 6; ++i) state->AddPoint(10 + 50 * i, 20 + 30 * (i % 3), 0xFF, true);
        DrawObjectOutline(w->Canvas(), *state);
        Invoke(w, "mnuRenderStartClick");
        Invoke(w, "mnuRenderStopClick");
        QTRY_VERIFY_WITH_TIMEOUT(!state->Rendering && StatusPanel(w, 3)->text() == "Ready", 20000);
        WaitForSaves();
        QVERIFY(QFile::exists(Path("early.bmp")));
        QVERIFY(!w->Document().FSaved);
    }

    void aQuickSaveEndsWhileASlowerOneStillWrites() {
        w->Hooks().FSaveWriter = FileWriter{&THeldWriter::Write};
        Choose(Path("slow.bmp"), 1);
        QVERIFY(w->SavePicture());
        QTRY_VERIFY_WITH_TIMEOUT(THeldWriter::Holding(), 20000);
        w->Hooks().FSaveWriter = {};
        Choose(Path("quick.bmp"), 1);
        QVERIFY(w->SavePicture());
        // The quick save's end is taken at once; the window never waits for the slow one.
        QTRY_VERIFY_WITH_TIMEOUT(w->Workers().Count<TSavePicture>() == 1, 20000);
        QVERIFY(THeldWriter::Holding());
        QVERIFY(QFile::exists(Path("quick.bmp")) && !QFile::exists(Path("slow.bmp")));
        THeldWriter::Release();
        WaitForSaves();
        QVERIFY(QFile::exists(Path("slow.bmp")));
    }

    // --- loading ---

    void loadingTakesThePictureAndItsResolution() {
        Render();
        const int mapCount = state->MapCount;
        Picture24 picture(40, 30, MakeColor(1, 2, 3));
        SetPixel24(picture, 39, 29, MakeColor(250, 0, 5));
        const auto bmp = EncodeBmp(picture, PackResolution({96, 300}));
        Spit(Path("small.BMP"), QByteArray(reinterpret_cast<const char*>(bmp.data()), int(bmp.size())));
        const bool clearWas = Find(w, "mnuEditClear")->isEnabled();
        w->Document().FSaved = false;
        Choose(Path("small.BMP"));
        Invoke(w, "mnuFileLoadClick");
        QCOMPARE(dialogs->filesAsked.back().Title, QString("Open Picture"));
        QCOMPARE(dialogs->filesAsked.back().Filters.size(), 4);
        QCOMPARE(dialogs->filesAsked.back().Filters.front(), QString("All (*.bmp *.jpg *.jpeg *.png)"));
        QVERIFY(dialogs->shown.empty());
        QVERIFY(w->Canvas() == picture);
        QCOMPARE(Find<TCanvasImage>(w, "imgPaint")->size(), QSize(40, 30));
        QVERIFY(state->PictureLoaded);
        QCOMPARE(w->Document().Resolution, (TResolution{96, 300}));
        QVERIFY(w->Document().FSaved);
        QCOMPARE(state->MapCount, mapCount);                 // the object stays
        QCOMPARE(Find(w, "mnuEditClear")->isEnabled(), clearWas);     // commands are not refreshed

        const auto jpeg = EncodeJpeg(Picture24(64, 48, MakeColor(0, 128, 255)), 90, PackResolution({300, 150}));
        Spit(Path("photo.JPEG"), QByteArray(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size())));
        Choose(Path("photo.JPEG"), 3);
        Invoke(w, "mnuFileLoadClick");
        QCOMPARE(w->Canvas().Width(), 64);
        QCOMPARE(w->Document().Resolution, (TResolution{300, 150}));
        Choose(Path("whatever.png"));
        Invoke(w, "mnuFileLoadClick");
        QCOMPARE(dialogs->filesAsked.back().FilterIndex, 3);  // opens on the type chosen last
    }

    void pngRoundTripThroughTheWindow() {
        Render();
        w->Document().Resolution = TResolution{300, 150};
        Choose(Path("fern.png"), 3);  // lossless: no Image Quality dialog
        QVERIFY(w->SavePicture());
        WaitForSaves();
        QVERIFY(w->Document().FSaved);
        const QString saved = Path("fern.png");
        QImage independent(saved, "png");  // Qt's own reader
        QCOMPARE(independent.dotsPerMeterX(), 11811);
        QCOMPARE(independent.dotsPerMeterY(), 5906);
        const Picture24 picture = w->Canvas();
        w->Canvas().Fill(clBlack);
        w->Document().Resolution = TResolution{72, 72};
        // A typed .png name loads whatever type is chosen, in any letter case.
        QVERIFY(QFile::copy(saved, Path("FERN.PNG")));
        Choose(Path("FERN.PNG"), 2);
        Invoke(w, "mnuFileLoadClick");
        QVERIFY(dialogs->shown.empty());
        QVERIFY(w->Canvas() == picture);
        QCOMPARE(w->Document().Resolution, (TResolution{300, 150}));
    }

    void damagedPicturesAreRefused() {
        const auto jpeg = EncodeJpeg(Picture24(64, 48, MakeColor(0, 128, 255)), 90, PackResolution({72, 72}));
        const QByteArray good(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size()));
        const auto bmp = EncodeBmp(Picture24(20, 20), PackResolution({72, 72}));
        const QByteArray goodBmp(reinterpret_cast<const char*>(bmp.data()), int(bmp.size()));
        const std::pair<QString, QByteArray> cases[] = {
            {"cut.jpg", good.left(good.size() / 2)}, {"noise.jpg", QByteArray(500, 'x')}, {"empty.jpg", {}},
            {"cut.bmp", goodBmp.left(goodBmp.size() - 10)}, {"noise.bmp", QByteArray(500, 'x')},
            {"noise.png", QByteArray(500, 'x')},
            {"picture.gif", good}};
        const Picture24 before = w->Canvas();
        for (const auto& [name, bytes] : cases) {
            Spit(Path(name), bytes);
            Choose(Path(name));
            Invoke(w, "mnuFileLoadClick");
            QCOMPARE(Last().text, QString("Fail to open the picture."));
            QCOMPARE(Last().title, QString("Open Picture"));
            QVERIFY(Last().icon == TDialogs::Icon::Warning);
            QVERIFY(w->Canvas() == before);
            QVERIFY(!state->PictureLoaded);
        }
        Choose(Path("gone.jpg"));  // vanished between the dialog and the read
        Invoke(w, "mnuFileLoadClick");
        QCOMPARE(Last().text, QString("Fail to open the picture."));
    }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_test.moc"
