// A Qt plugin that the package check loads into the unpacked program
// (QT_QPA_GENERIC_PLUGINS=fernweaveprobe) to report what the program shows:
// one line on standard output for each top-level window that appears, and the
// names a file dialog lists, so the script can tell that the program found its
// help and its Objects folder, and every size the canvas takes, so that a
// script can tell which pictures were opened and in which order. The program
// itself knows nothing of it.
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

    static void Say(const QString& line) {
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    QTimer timer_;
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
