// A Qt plugin that the package check loads into the unpacked program
// (QT_QPA_GENERIC_PLUGINS=fernweaveprobe) to report what the program shows:
// one line on standard output for each top-level window that appears, and the
// names a file dialog lists, so the script can tell that the program found its
// help and its Objects folder, and every size the canvas takes, so that a
// script can tell which pictures were opened and in which order. The program
// itself knows nothing of it. Where no keys can be sent to it (a Wayland
// compositor without a test client), FERNWEAVE_PROBE_TRIGGER names actions of
// the main window ("mnuHelpContents,mnuFileNew") that the probe triggers one
// after another, a second apart, once the splash has gone.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGenericPlugin>
#include <QListView>
#include <QResizeEvent>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class WindowProbe : public QObject {
public:
    WindowProbe() {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(100);
        const QString trigger = qEnvironmentVariable("FERNWEAVE_PROBE_TRIGGER");
        if (!trigger.isEmpty()) toTrigger_ = trigger.split(',');
        connect(&triggerTimer_, &QTimer::timeout, this, [this] { TriggerNext(); });
        triggerTimer_.start(1000);
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    // Each resize of the canvas as it happens: pictures opened one after
    // another within one turn of the event loop all show.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched->isWidgetType() &&
            QByteArray(watched->metaObject()->className()).endsWith("TCanvasImage")) {
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            Say(QStringLiteral("canvas: %1x%2").arg(size.width()).arg(size.height()));
        }
        return false;
    }

private:
    void Look() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            const QString line = QStringLiteral("window: %1 (%2)").arg(w->windowTitle(), w->metaObject()->className());
            if (!seen_.contains(line)) {
                seen_.insert(line);
                Say(line);
            }
            if (auto* dialog = qobject_cast<QFileDialog*>(w)) ListFiles(dialog);
        }
    }

    void ListFiles(QFileDialog* dialog) {
        auto* view = dialog->findChild<QListView*>("listView");
        if (!view || !view->model()) return;
        QStringList names;
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            names << view->model()->index(row, 0, view->rootIndex()).data().toString();
        names.sort();
        const QString line = "files: " + dialog->directory().path() + ": " + names.join(' ');
        if (line != lastFiles_) {
            lastFiles_ = line;
            Say(line);
        }
    }

    // The next action, when the main window shows and the splash is gone. A
    // modal dialog it opens runs its own loop; the timer goes on in it.
    void TriggerNext() {
        if (toTrigger_.isEmpty()) return triggerTimer_.stop();
        QWidget* main = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (QByteArray(w->metaObject()->className()).endsWith("TfrmAbout")) return;  // the splash still shows
            if (QByteArray(w->metaObject()->className()).endsWith("TfrmMain")) main = w;
        }
        if (!main) return;
        const QString name = toTrigger_.takeFirst();
        auto* action = main->findChild<QAction*>(name);
        Say(action ? "triggered: " + name : "no action: " + name);
        if (action) QTimer::singleShot(0, action, &QAction::trigger);
    }

    static void Say(const QString& line) {
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    QTimer timer_;
    QTimer triggerTimer_;
    QStringList toTrigger_;
    QSet<QString> seen_;
    QString lastFiles_;
};

}  // namespace

class WindowProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "window_probe.json")

public:
    QObject* create(const QString&, const QString&) override { return new WindowProbe; }
};

#include "window_probe.moc"
