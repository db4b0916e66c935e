// The help: the built Fernweave.chm read back through chmlib, the help window
// opened from the program's commands, and damaged files that must not harm it.
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMovie>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <QtEndian>
#include <QtTest>
#include <random>

#include "chm_file.h"
#include "fake_dialogs.h"
#include "gif_writer.h"
#include "help_viewer.h"
#include "html_help.h"
#include "main_window.h"
#include "window_fixture.h"
#include "strokes.h"

using namespace fernweave;

namespace {

const QString BuiltHelpFile = QStringLiteral(FERNWEAVE_HELP_FILE);

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) b.append(static_cast<char>(v));
    return b;
}

std::span<const std::uint8_t> View(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), static_cast<std::size_t>(b.size())};
}

// The visible help windows of the process.
QList<TfrmHelp*> HelpWindows() {
    QList<TfrmHelp*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<TfrmHelp*>(w); help && help->isVisible()) found.push_back(help);
    return found;
}

// Everything a reader of the file touches: contents, topics, every object.
void ReadEverything(const TChmFile& file) {
    (void)file.DefaultTopic();
    (void)file.Title();
    for (const QString& path : file.Paths()) (void)file.Read(path);
    for (const auto& [id, topic] : file.ContextIds()) (void)file.Read(topic);
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FractalState> state;
    std::unique_ptr<TFakeDialogs> dialogs;
    std::unique_ptr<TfrmMain> w;
    THtmlHelp chm;  // a binding of the tests' own, for reading the file

    TfrmHelp* Viewer() const { return w->HtmlHelp().Viewer(); }
    QString Page() const { return Viewer() ? Viewer()->Browser->source().path() : QString(); }

    std::shared_ptr<TChmFile> Open(const QString& fileName) {
        return std::make_shared<TChmFile>(*chm.HtmlHelpProc, fileName);
    }

    // Clicks the link to `href` on the page shown.
    void ClickLink(const QString& href) {
        THelpBrowser* b = Viewer()->Browser;
        for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                if (f.charFormat().anchorHref() != href) continue;
                QTextCursor c(b->document());
                c.setPosition(f.position() + f.length() / 2);
                b->setTextCursor(c);
                b->ensureCursorVisible();
                QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, b->cursorRect(c).center());
                return;
            }
        QFAIL(qPrintable("no link to " + href));
    }

private slots:
    void initTestCase() {
        chm.LoadHtmlHelp();
        QVERIFY2(chm.Available(), "chmlib (libchm.so.1) is needed to read the help file");
        QVERIFY2(QFile::exists(BuiltHelpFile), qPrintable(BuiltHelpFile));
    }

    void init() {
        state = std::make_unique<FractalState>();
        dialogs = std::make_unique<TFakeDialogs>();
        w = std::make_unique<TfrmMain>(*state, *dialogs);
        w->HtmlHelp().HelpFile = BuiltHelpFile;  // the tests run beside another executable
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

    void cleanup() {
        if (state->Rendering) {
            Invoke(w, "mnuRenderStopClick");
            QTRY_VERIFY_WITH_TIMEOUT(!state->Rendering, 20000);
        }
        w.reset();
        QVERIFY(HelpWindows().isEmpty());  // the help window goes with the main window
    }

    void builtFileListsTheFourTutorialsByContextId() {
        const auto file = Open(BuiltHelpFile);
        QVERIFY(file->IsOpen());
        const std::map<std::uint32_t, QString> expected{{1001, "/tutorial_snowflake.html"},
                                                        {1002, "/tutorial_leaf.html"},
                                                        {1003, "/tutorial_tree.html"},
                                                        {1004, "/tutorial_grass.html"}};
        QCOMPARE(file->ContextIds(), expected);
        for (const auto& [id, topic] : expected) QVERIFY(file->Read(topic).has_value());
        QCOMPARE(file->Title(), QString("Fernweave Help"));
        QCOMPARE(file->DefaultTopic(), QString("/index.html"));
    }

    void helpFileIsLookedForBesideTheExecutable() {
        const QString beside = QCoreApplication::applicationDirPath() + "/Fernweave.chm";
        QCOMPARE(THtmlHelp().HelpFile, beside);
        TfrmMain fresh(*state, *dialogs);
        QCOMPARE(fresh.HtmlHelp().HelpFile, beside);
        QVERIFY(fresh.HtmlHelp().Available());  // loaded at start-up
    }

    void menuItemAndDropDownBothShowTheLeaf() {
        for (QAction* command : {Find(w, "mnuTuto2"), Find(w, "popTuto2")}) {
            command->trigger();
            QVERIFY(Viewer() && Viewer()->isVisible());
            QCOMPARE(Page(), QString("/tutorial_leaf.html"));
            QCOMPARE(Viewer()->Browser->documentTitle(), QString("Drawing a leaf"));
            QCOMPARE(Viewer()->windowTitle(), QString("Fernweave Help - Drawing a leaf"));
            Viewer()->close();
            QVERIFY(HelpWindows().isEmpty());
        }
    }

    void eachTutorialOpensItsOwnPage() {
        const std::pair<QAction*, QString> tutorials[] = {{Find(w, "mnuTuto1"), "Drawing a snowflake"},
                                                          {Find(w, "popTuto3"), "Drawing a tree"},
                                                          {Find(w, "mnuTuto4"), "Drawing a grass"},
                                                          {Find(w, "popTuto1"), "Drawing a snowflake"}};
        for (const auto& [command, title] : tutorials) {
            command->trigger();
            QCOMPARE(Viewer()->Browser->documentTitle(), title);
        }
        QCOMPARE(HelpWindows().size(), 1);  // one help window, reused
    }

    void helpWindowStandsOnItsOwn() {
        QTest::keyClick(w.get(), Qt::Key_F1);
        TfrmHelp* help = Viewer();
        QVERIFY(help && help->isVisible());
        QVERIFY(!help->parentWidget());
        QVERIFY(!help->isModal());
        QVERIFY(!help->testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(w->isEnabled());
    }

    void withoutChmlibTheHelpCommandsDoNothing() {
        w->HtmlHelp().LoadHtmlHelp("libchm-not-installed.so.1");
        QVERIFY(!w->HtmlHelp().Available());
        QTest::keyClick(w.get(), Qt::Key_F1);
        for (QAction* command : {Find(w, "mnuHelpContents"), Find(w, "btnHelp"), Find(w, "mnuTuto1"),
                                 Find(w, "mnuTuto2"), Find(w, "mnuTuto3"), Find(w, "mnuTuto4"), Find(w, "popTuto1"),
                                 Find(w, "popTuto2"), Find(w, "popTuto3"), Find(w, "popTuto4")}) {
            QVERIFY(command->isEnabled());
            command->trigger();
        }
        QVERIFY(!Viewer());
        QVERIFY(HelpWindows().isEmpty());
        QVERIFY(dialogs->shown.empty());
        QVERIFY(w->isVisible());

        w->HtmlHelp().LoadHtmlHelp("libm.so.6");  // a library, but not chmlib
        QVERIFY(w->HtmlHelp().HelpLibrary && !w->HtmlHelp().HtmlHelpProc);
        Find(w, "mnuTuto2")->trigger();
        QVERIFY(HelpWindows().isEmpty());
    }

    void aMissingOrDamagedFileSaysSoOnAPageOfItsOwn() {
        QTemporaryDir dir;
        const QString missing = dir.filePath("Fernweave.chm");
        auto showsProblem = [&](const QString& file, const char* what) {
            QVERIFY(Viewer() && Viewer()->isVisible());
            QCOMPARE(Viewer()->windowTitle(), QString("Help"));
            QCOMPARE(Viewer()->Browser->documentTitle(), QString("Help"));
            QVERIFY2(Viewer()->Browser->toPlainText().contains("The help file " + file + what),
                     qPrintable(Viewer()->Browser->toPlainText()));
            QVERIFY(!Viewer()->tvContents->currentItem());
        };
        w->HtmlHelp().HelpFile = missing;
        Find(w, "mnuHelpContents")->trigger();
        showsProblem(missing, " cannot be found.");
        QFile junk(missing);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(5000, 'x'));
        junk.close();
        Find(w, "mnuTuto1")->trigger();
        showsProblem(missing, " is damaged and cannot be shown.");
        QVERIFY(dialogs->shown.empty());

        // A file that cannot give a topic or a page it names.
        w->HtmlHelp().HelpFile = BuiltHelpFile;
        Find(w, "mnuHelpContents")->trigger();
        QVERIFY(Viewer()->tvContents->currentItem());
        Viewer()->ShowContext(4711);
        showsProblem(BuiltHelpFile, " is damaged and cannot be shown.");
        Find(w, "mnuTuto2")->trigger();
        QCOMPARE(Viewer()->windowTitle(), QString("Fernweave Help - Drawing a leaf"));
        Viewer()->ShowTopic("/gone.html");
        showsProblem(BuiltHelpFile, " is damaged and cannot be shown.");
    }

    void contentsListTheTutorials() {
        Find(w, "mnuHelpContents")->trigger();
        QCOMPARE(Page(), QString("/index.html"));
        QTreeWidget* tree = Viewer()->tvContents;
        QTreeWidgetItem* tutorials = nullptr;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (tree->topLevelItem(i)->text(0) == "Tutorials") tutorials = tree->topLevelItem(i);
        QVERIFY(tutorials);
        QStringList names;
        for (int i = 0; i < tutorials->childCount(); ++i) names << tutorials->child(i)->text(0);
        QCOMPARE(names, QStringList({"Drawing a snowflake", "Drawing a leaf", "Drawing a tree", "Drawing a grass"}));
        // Choosing an entry shows its page; the page shown selects its entry.
        tree->scrollToItem(tutorials->child(2));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tutorials->child(2)).center());
        QCOMPARE(Page(), QString("/tutorial_tree.html"));
        Find(w, "mnuTuto4")->trigger();
        QCOMPARE(tree->currentItem(), tutorials->child(3));
    }

    void linksInsideTheFileAreFollowed() {
        Find(w, "mnuHelpContents")->trigger();
        ClickLink("drawing.html");
        QCOMPARE(Page(), QString("/drawing.html"));
        QCOMPARE(Viewer()->Browser->documentTitle(), QString("Drawing with the mouse"));
        ClickLink("tutorial_snowflake.html");
        QCOMPARE(Page(), QString("/tutorial_snowflake.html"));
        Viewer()->actBack->trigger();
        QCOMPARE(Page(), QString("/drawing.html"));
        Viewer()->actForward->trigger();
        QCOMPARE(Page(), QString("/tutorial_snowflake.html"));
        Viewer()->actHome->trigger();
        QCOMPARE(Page(), QString("/index.html"));
    }

    void tutorialShowsItsStepsAndPlaysItsAnimation() {
        Find(w, "mnuTuto2")->trigger();
        THelpBrowser* b = Viewer()->Browser;
        // Base, five maps and the rendering: a picture for each, drawn at build time.
        int steps = 0;
        for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                if (!f.isImageFormat()) continue;
                const QString name = f.toImageFormat().name();
                const QVariant picture = b->document()->resource(QTextDocument::ImageResource, QUrl(name));
                QImage image;
                if (picture.canConvert<QImage>()) image = picture.value<QImage>();
                if (image.isNull() && picture.canConvert<QPixmap>()) image = picture.value<QPixmap>().toImage();
                if (image.isNull()) image.loadFromData(picture.toByteArray());
                QVERIFY2(image.size() == QSize(550, 364), qPrintable(name));
                steps += name.startsWith("leaf_step");
            }
        QCOMPARE(steps, 6);
        QVERIFY(b->toPlainText().contains("Step 7: Render"));
        QVERIFY(b->toPlainText().contains("Click 1 (271, 356), 2 (279, 356) and 3 (275, 286)."));
        QCOMPARE(b->MovieCount(), 1);
        QMovie* movie = b->Movie(b->source().resolved(QUrl("leaf.gif")));
        if (!movie) movie = b->Movie(QUrl("leaf.gif"));
        QVERIFY(movie);
        QVERIFY(movie->frameCount() > 10);
        QTRY_VERIFY_WITH_TIMEOUT(movie->currentFrameNumber() > 1, 10000);
        // Another page stops it; coming back starts it again.
        Find(w, "mnuHelpContents")->trigger();
        QCOMPARE(b->MovieCount(), 0);
        Find(w, "popTuto2")->trigger();
        QCOMPARE(b->MovieCount(), 1);
    }

    void helpDoesNotStopARendering() {
        const int points[] = {275, 20, 40, 340, 510, 340, 275, 20, 158, 180, 392, 180};
        state->BeginDrawing();
        for (int i = 0; i < 6; ++i) state->AddPoint(points[2 * i], points[2 * i + 1], 0x00FF00, true);
        DrawObjectOutline(w->Canvas(), *state);
        Invoke(w, "mnuRenderStartClick");
        QVERIFY(state->Rendering);
        QTest::keyClick(w.get(), Qt::Key_F1);
        Find(w, "mnuTuto3")->trigger();
        QVERIFY(Viewer() && Viewer()->isVisible());
        QVERIFY(state->Rendering);
        QVERIFY(!state->StopRequested);
    }

    void closingTheMainWindowEndsTheProgram() {
        Find(w, "mnuHelpContents")->trigger();
        QVERIFY(Viewer()->isVisible());
        QTimer::singleShot(0, w.get(), [this] { w->close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(30000);
        QCOMPARE(QCoreApplication::exec(), 0);  // it quits although the help window was open
    }

    void damagedFilesNeverHarmTheReader() {
        QFile built(BuiltHelpFile);
        QVERIFY(built.open(QIODevice::ReadOnly));
        const QByteArray good = built.readAll();
        std::string why;
        QVERIFY2(CheckChmContainer(View(good), &why), why.c_str());
        QTemporaryDir dir;
        const QString path = dir.filePath("damaged.chm");
        auto tryFile = [&](const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            const auto file = Open(path);
            if (file->IsOpen()) ReadEverything(*file);
        };
        // Cut short anywhere.
        for (qsizetype length : {0, 1, 16, 0x5F, 0x60, 0x100, 0x1000, 0x2000, 0x3000})
            tryFile(good.left(length));
        for (int i = 1; i < 40; ++i) tryFile(good.left(good.size() * i / 40));
        // A few bits changed anywhere.
        std::mt19937 random(2024);
        for (int round = 0; round < 400; ++round) {
            QByteArray bytes = good;
            const int flips = 1 + static_cast<int>(random() % 6);
            for (int k = 0; k < flips; ++k)
                bytes[random() % bytes.size()] ^= static_cast<char>(1u << (random() % 8));
            tryFile(bytes);
        }
    }

    void containerCheckRefusesWhatChmlibWouldTripOver() {
        QFile built(BuiltHelpFile);
        QVERIFY(built.open(QIODevice::ReadOnly));
        const QByteArray good = built.readAll();
        std::string why;
        // Compression control data that chmlib divides by: a field of it set to a value.
        const qsizetype lzxc = good.indexOf("LZXC") - 4;
        QVERIFY(lzxc > 0);
        auto withControl = [&](int field, quint32 value) {
            QByteArray b = good;
            qToLittleEndian(value, b.data() + lzxc + field);
            return b;
        };
        QVERIFY(!CheckChmContainer(View(withControl(0x14, 0)), &why));  // windows per reset
        QCOMPARE(why, std::string("bad compression reset interval"));
        QVERIFY(!CheckChmContainer(View(withControl(0x10, 3)), &why));  // window size, not a power of two
        QCOMPARE(why, std::string("bad compression window"));
        QVERIFY(!CheckChmContainer(View(withControl(0x10, 0x20000)), &why));  // times 32 KiB: 2^32, 0 in 32 bits
        QCOMPARE(why, std::string("bad compression window"));
        QByteArray bad;
        // A listing chunk whose successor is itself: chmlib would list for ever.
        const qsizetype pmgl = good.indexOf("PMGL");
        bad = good;
        const QByteArray self = Bytes({0, 0, 0, 0});
        bad.replace(pmgl + 0x10, 4, self);  // chunk 0 leads to chunk 0
        QVERIFY(!CheckChmContainer(View(bad), &why));
        QCOMPARE(why, std::string("directory chain runs in a circle"));
        // A directory that claims more than the file holds.
        bad = good;
        bad[0x50 + 7] = 0x7F;
        QVERIFY(!CheckChmContainer(View(bad), &why));
        QCOMPARE(why, std::string("directory outside the file"));
        QVERIFY(!CheckChmContainer(View(good.left(0x5F)), &why));
    }

    void contextIdsStayWithinTheirTables() {
        const QByteArray strings("\0one.html\0two.html", 18);  // the last name has no end
        // Stated length beyond the object; offsets inside, at the end and far outside.
        const QByteArray ivb = Bytes({0xFF, 0, 0, 0, 0xE9, 3, 0, 0, 1, 0, 0, 0, 0xEA, 3, 0, 0, 10, 0, 0, 0,
                                      0xEB, 3, 0, 0, 0, 0, 0, 0, 0xEC, 3, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xED, 3});
        const auto ids = ParseContextIds(View(ivb), View(strings));
        QCOMPARE(ids.size(), std::size_t{2});
        QCOMPARE(ids[0], (std::pair<std::uint32_t, std::string>{1001, "one.html"}));
        QCOMPARE(ids[1], (std::pair<std::uint32_t, std::string>{1002, "two.html"}));
        QVERIFY(ParseContextIds(View(Bytes({8, 0, 0})), View(strings)).empty());
        QVERIFY(ParseContextIds({}, {}).empty());

        // A system record longer than the file ends the reading.
        const QByteArray system = Bytes({3, 0, 0, 0, 3, 0, 4, 0, 'H', 'e', 'l', 'p', 2, 0, 200, 0, 'x'});
        const TChmSystemInfo info = ParseChmSystem(View(system));
        QCOMPARE(info.Title, std::string("Help"));
        QVERIFY(info.DefaultTopic.empty());
    }

    void sitemapReadsLooseHtmlSafely() {
        const QByteArray hhc =
            "<!-- <UL> --><ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"A &amp; B\">"
            "<param name=Local value='ms-its:x.chm::/a.html#top'></object>"
            "<ul><li><OBJECT type=\"text/sitemap\"><PARAM name=\"Name\" value=\"Inner\"><param name=\"Local\" "
            "value=\"dir\\b.html\"></OBJECT></ul>"
            "<li><object type=\"text/site properties\"><param name=\"Name\" value=\"ignored\"></object>"
            "<li><object type=\"text/sitemap\"><param name=\"Local\" value=\"c.html\"></object></ul></ul></ul>"
            "<object type=\"text/sitemap\"><param name=\"Name\" value=\"unclosed";
        const auto entries = ParseSitemap(hhc);
        QCOMPARE(entries.size(), std::size_t{2});
        QCOMPARE(entries[0].Name, QString("A & B"));
        QCOMPARE(entries[0].Local, QString("/a.html#top"));
        QCOMPARE(entries[0].Children.size(), std::size_t{1});
        QCOMPARE(entries[0].Children[0].Local, QString("/dir/b.html"));
        QCOMPARE(entries[1].Name, QString("c.html"));

        QByteArray deep;
        for (int i = 0; i < 5000; ++i) deep += "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"x\"></object>";
        std::size_t depth = 0;
        const auto nested = ParseSitemap(deep);
        for (const auto* level = &nested; !level->empty(); level = &level->front().Children) ++depth;
        QVERIFY(depth <= 33);
    }

    void animationWriterRoundTrip() {
        Picture24 a(40, 30, clBlack), b(40, 30, clBlack);
        for (int x = 5; x < 20; ++x) SetPixel24(b, x, 12, MakeColor(200, 30, 10));
        SetPixel24(b, 39, 29, clWhite);
        const cli::GifFrame frames[] = {{&a, 20}, {&b, 30}, {&b, 40}, {&a, 50}};
        std::vector<std::uint8_t> gif = cli::EncodeAnimatedGif(frames);
        QByteArray data(reinterpret_cast<const char*>(gif.data()), static_cast<qsizetype>(gif.size()));
        QBuffer buffer(&data);
        QImageReader reader(&buffer, "gif");
        QCOMPARE(reader.imageCount(), 3);  // the repeated frame adds its time to the one before
        QCOMPARE(reader.loopCount(), -1);
        const Picture24* expected[] = {&a, &b, &a};
        const int delays[] = {200, 700, 500};
        for (int k = 0; k < 3; ++k) {
            const QImage frame = reader.read().convertToFormat(QImage::Format_RGB32);
            QVERIFY(!frame.isNull());
            QCOMPARE(reader.nextImageDelay(), delays[k]);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    const TColor c = expected[k]->Pixel(x, y);
                    QCOMPARE(frame.pixel(x, y), qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
                }
        }
        Picture24 many(20, 20);
        for (int i = 0; i < 400; ++i) SetPixel24(many, i % 20, i / 20, MakeColor(i, i / 2, 0));
        const cli::GifFrame tooMany[] = {{&many, 10}};
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, cli::EncodeAnimatedGif(tooMany));
    }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
