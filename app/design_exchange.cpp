// Designs exchanged with other programs: classic IFS text, flames and PNG
// pictures that carry their object, imported and exported from the window.
#include <QFileInfo>
#include <optional>

#include "canvas_document.h"
#include "color_panel.h"
#include "design.h"
#include "design_file.h"
#include "dialogs.h"
#include "entry_chooser.h"
#include "flame_file.h"
#include "ifs_text.h"
#include "main_window.h"
#include "object_file.h"
#include "png_codec.h"
#include "renderer.h"
#include "safe_file.h"
#include "window_hooks.h"

namespace fernweave {

namespace {

// The types of Import's and Export's dialogs after the object file.
enum TDesignType { TypeIfsText = 2, TypeFlame = 3, TypePicture = 4 };

std::vector<std::uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

bool TfrmMain::ImportDesign(const QString& fileName) {
    auto refuse = [&](const std::string& why) {
        FDialogs.Warn(this, "Import Object", why.empty() ? "It is not a valid object." : QString::fromStdString(why));
        return false;
    };
    const DesignFile file = ReadDesignFile(fileName.toStdString());
    if (!file.Ok()) return refuse(file.Error);
    std::size_t index = 0;
    if (file.List().size() > 1) {
        std::optional<std::size_t> chosen;
        if (FHooks->ChooseEntry) {
            chosen = FHooks->ChooseEntry(file, fileName);
        } else {
            TfrmChooseEntry chooser(file, fileName, this);
            chooser.exec();
            chosen = chooser.Chosen();
        }
        if (!chosen) return false;
        index = *chosen;
    }
    std::string error;
    const auto object = file.Open(index, Canvas().Width(), Canvas().Height(), FState.CurrentObject(), error);
    if (!object) return refuse(error);
    // As an object file is imported: the previous object kept for a cancel.
    FState.SaveObject();
    FState.SetObject(*object);
    FState.ObjectImported = true;
    ShowInstruction("Draw a triangle to render the object");
    return true;
}

bool TfrmMain::ExportDesign(const QString& fileName, int filterIndex) {
    const std::string name = fileName.toStdString();
    std::vector<std::uint8_t> bytes;
    switch (filterIndex) {
        case TypeIfsText:
            bytes = BytesOf(FormatIfsText(FState.CurrentObject(), EntryNameFor(name)));
            break;
        case TypeFlame:
            // The object where the canvas shows it, so that a flame renderer draws it there too.
            bytes = BytesOf(FormatFlame(ObjectAsShown(FState), EntryNameFor(name), Canvas().Width(),
                                        Canvas().Height(), BackColor));
            break;
        case TypePicture:
            // The canvas is the worker's while a rendering runs: nothing is written, and the user is told why.
            if (RenderActive()) {
                FDialogs.Inform(this, "Export Object", "Stop the rendering to export the picture with its object.");
                return true;
            }
            bytes = EncodePng(Canvas(), PackResolution(FDocument->Resolution), EncodeObject(FState.CurrentObject()));
            break;
        default:
            return WriteObjectFile(FState, name);
    }
    return WriteFileReplacing(name, bytes);
}

}  // namespace fernweave
