// Draws the Edit Object dialog for the help: opens it on a text drawing, as
// if the drawing had just been rendered, selects a vertex, lets the preview
// run and saves a picture of the dialog. Run by scripts/editor_screenshot.sh.
//   editor_screenshot DRAWING OUT.png [ZOOM [OPTIONS]]
// OPTIONS, joined by commas: grid (snapping to the grid), several (maps 2 and 3
// selected together), fixed (the fixed points shown), custom (custom chances,
// map 1 at 10 %), flat (map 1 without area, base vertex 2 in column 0).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QCheckBox>
#include <QScrollArea>
#include <cstdio>
#include <memory>

#include "object_editor_dialog.h"
#include "renderer.h"
#include "text_drawing.h"

using namespace fernweave;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: editor_screenshot DRAWING OUT.png [ZOOM [grid,several,fixed,custom,flat]]\n");
        return 2;
    }
    QFile file(argv[1]);
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QByteArray text = file.readAll();
    TDrawing drawing;
    cli::DrawingError error;
    if (!cli::ParseTextDrawing(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), drawing, error)) {
        std::fprintf(stderr, "%s:%d: %s\n", argv[1], error.Line, error.Message.c_str());
        return 1;
    }
    auto state = std::make_unique<FractalState>();
    LoadDrawing(*state, drawing);
    PrepareRendering(*state);

    TfrmEditObject dialog(state->CurrentObject(), std::make_shared<const Picture24>(DefaultCanvasWidth, DefaultCanvasHeight, clBlack));
    dialog.Model().Select({3, 2});
    dialog.ModelChanged();
    const QStringList options = argc > 4 ? QString(argv[4]).split(',') : QStringList();
    dialog.cbSnap->setChecked(options.contains("grid"));
    dialog.cbFixedPoints->setChecked(options.contains("fixed"));
    if (options.contains("custom")) {
        dialog.Model().SetCustomChances(true);
        dialog.Model().SetShare(1, 10);
    }
    if (options.contains("flat")) {
        dialog.Model().Select({1, 2});
        dialog.Model().SetSelectedVertex(dialog.Model().TriangleOf(1)[0]);
        dialog.Model().Select({0, 1});
        dialog.Model().SetSelectedVertex({0, dialog.Model().TriangleOf(0)[1].y});
    }
    dialog.ModelChanged();
    if (options.contains("several")) {
        dialog.Model().SelectTriangles({2, 3}, 3);
        dialog.ModelChanged();
    }
    dialog.show();
    if (argc > 3) dialog.SetZoom(std::atof(argv[3]), dialog.imgPreview->mapTo(dialog.ScrollBox->viewport(),
                                                                             dialog.imgPreview->ToScreen(180, 160)));
    QElapsedTimer running;
    running.start();
    while (running.elapsed() < 2500) app.processEvents(QEventLoop::AllEvents, 50);
    return dialog.grab().save(argv[2]) ? 0 : 1;
}
