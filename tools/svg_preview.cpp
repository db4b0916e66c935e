// Renders SVG files with Qt's own SVG renderer (the one the program uses) into PNG files,
// so the icons can be looked at exactly as the toolbar will draw them.
// Usage: svg_preview SIZE OUT_DIR FILE.svg...   (writes OUT_DIR/<name>.png, SIZE x SIZE, transparent)
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder even offscreen (build machines often have none).
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: svg_preview SIZE OUT_DIR FILE.svg...\n");
        return 2;
    }
    const int size = QString::fromLocal8Bit(argv[1]).toInt();
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    int failures = 0;
    for (int i = 3; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QSvgRenderer renderer(path);
        if (!renderer.isValid()) {
            std::fprintf(stderr, "invalid SVG: %s\n", argv[i]);
            ++failures;
            continue;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString out = outDir + "/" + QFileInfo(path).completeBaseName() + ".png";
        if (!image.save(out)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
