// The commands that read and write files: objects (.ifs), new canvases,
// and pictures (BMP, JPEG and PNG) with their resolution.
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <memory>

#include "canvas_document.h"
#include "canvas_image.h"
#include "color_panel.h"
#include "dialogs.h"
#include "image_quality_dialog.h"
#include "main_window.h"
#include "new_image_dialog.h"
#include "object_file.h"
#include "picture_codecs.h"
#include "picture_loader.h"
#include "qt_color.h"
#include "renderer.h"
#include "safe_file.h"
#include "save_worker.h"
#include "window_hooks.h"
#include "worker.h"

namespace fernweave {

namespace {

const QString ObjectFilter = "IFS Object File(*.ifs)";
// Designs of other programs come after the object file, which stays the first type.
const QStringList DesignFilters = {ObjectFilter, "IFS Text File (*.ifs *.txt)", "Flame (*.flame *.flam3)",
                                   "Picture with Object (*.png)"};
// The picture types from the one table of formats: PNG comes after the
// original types, whose labels and patterns stay as they were.
QStringList PictureFilters(bool save) {
    QStringList filters;
    QString all;
    for (const TPictureFormatInfo& f : PictureFormatTable) {
        const std::string_view filter = save ? f.SaveFilter : f.OpenFilter;
        filters << QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()));
        for (std::string_view e : f.Extensions)
            if (!e.empty()) all += (all.isEmpty() ? "*" : " *") + QString::fromUtf8(e.data(), static_cast<qsizetype>(e.size()));
    }
    if (!save) filters.prepend("All (" + all + ")");
    return filters;
}
const QStringList SaveFilters = PictureFilters(true);
const QStringList OpenFilters = PictureFilters(false);


}  // namespace

void TfrmMain::CreatePictureDialogs() {
    TfrmNewImage::Hooks hooks;
    hooks.RangeMessage = [this](QWidget* owner, const QString& text) {
        FDialogs.Inform(owner, "New Image", text);
    };
    hooks.Guard = [this](const std::function<void()>& check) { Guard(check); };
    hooks.ChooseColor = [this](QWidget* owner, TColor initial) -> std::optional<TColor> {
        const auto chosen = FDialogs.ChooseColor(owner, ToQColor(initial));
        if (!chosen) return std::nullopt;
        return FromQColor(*chosen);
    };
    frmNewImage = new TfrmNewImage(std::move(hooks), this);
    frmImageQuality = new TfrmImageQuality(this);
}

void TfrmMain::AbandonImport() {
    if (!FState.ObjectImported) return;
    FState.RestoreSavedObject();
    FState.ObjectImported = false;
    ShowInstruction("");
}

// --- objects ---

void TfrmMain::mnuFileExportClick() {
    if (FState.MapCount == 0) {
        FDialogs.Inform(this, "Export Object", "No Object Exists.");
        return;
    }
    TFileRequest request;
    request.Save = true;
    request.Title = "Export the Object to File";
    request.Folder = DialogFolder(TFolderUse::ExportObject);
    request.Filters = DesignFilters;
    request.DefaultSuffix = "ifs";
    const auto choice = FDialogs.ChooseFile(this, request);
    if (!choice) return;
    // The chosen type decides the format.
    if (!ExportDesign(choice->FileName, choice->FilterIndex))
        FDialogs.Warn(this, "Export Object", "Fail to Export Object.");
}

void TfrmMain::mnuFileImportClick() {
    TFileRequest request;
    request.Title = "Import Object from File";
    request.Folder = DialogFolder(TFolderUse::ImportObject);
    request.Filters = DesignFilters;
    request.DefaultSuffix = "ifs";
    request.MustExist = true;
    const auto choice = FDialogs.ChooseFile(this, request);
    if (!choice) return;
    ImportObject(choice->FileName);
}

bool TfrmMain::ImportObject(const QString& fileName) {
    // The content decides: only a file starting with B6 A3 is an object file.
    std::string head;
    if (ReadFilePrefix(fileName.toStdString(), 2, head) && head != "\xB6\xA3") return ImportDesign(fileName);
    FState.SaveObject();
    if (!ReadObjectFile(FState, fileName.toStdString())) {
        FDialogs.Warn(this, "Import Object", "It is not a valid object.");
        FState.RestoreSavedObject();
        return false;
    }
    FState.ObjectImported = true;
    ShowInstruction("Draw a triangle to render the object");
    return true;
}

// --- new canvas ---

void TfrmMain::mnuFileNewClick() {
    if (frmNewImage->exec() != QDialog::Accepted) return;
    const int width = frmNewImage->WidthValue();
    const int height = frmNewImage->HeightValue();
    const int resolution = frmNewImage->ResolutionValue();
    const TColor color = frmNewImage->CanvasColor();
    AbandonImport();
    const auto dpi = static_cast<std::uint16_t>(resolution);
    FDocument->NewPicture(Picture24(width, height, color), TResolution{dpi, dpi});
    BackColor = color;
    UpdateCommands();
    CenterCanvas();
}

// --- pictures ---

void TfrmMain::mnuFileSaveClick() { SavePicture(); }

std::optional<TFileChoice> TfrmMain::ChooseSaveFile(const QString& title) {
    TFileRequest request;
    request.Save = true;
    request.Title = title;
    request.Folder = DialogFolder(TFolderUse::SavePicture);
    request.Filters = SaveFilters;
    request.FilterIndex = FSaveFilterIndex;
    request.DefaultSuffix = "bmp";
    request.PicturePreview = true;
    const auto choice = FDialogs.ChooseFile(this, request);
    if (!choice) return std::nullopt;
    FSaveFilterIndex = choice->FilterIndex;
    const auto format = FormatForFileName(choice->FileName.toStdString(), TPictureFormat(choice->FilterIndex));
    if (format == FormatJpeg && frmImageQuality->exec() != QDialog::Accepted) return std::nullopt;
    return choice;
}

bool TfrmMain::SavePicture() {
    const auto choice = ChooseSaveFile("Save Picture");
    if (!choice) return false;

    // An extension we write names the format; the chosen type only fills in a missing one.
    const std::string fileName = choice->FileName.toStdString();
    const TPictureFormat format = FormatForFileName(fileName, TPictureFormat(choice->FilterIndex));
    const std::uint64_t generation = FDocument->Changes();
    FWorkers->Start<TSavePicture>(
        [&](TWorker::EndNotice ended) {
            return std::make_unique<TSavePicture>(
                Canvas(), fileName, format, PackResolution(FDocument->Resolution), frmImageQuality->Quality(),
                std::move(ended), FHooks->FSaveWriter,
                // A PNG picture carries the object, so that Import can bring it back.
                FState.MapCount > 0 ? EncodeObject(FState.CurrentObject()) : std::vector<std::uint8_t>{});
        },
        [this, generation](TSavePicture& ended) { Guard([&] { SaveDoneNotify(ended, generation); }); });
    return true;
}

void TfrmMain::SaveDoneNotify(TSavePicture& worker, std::uint64_t generation) {
    // Saves end in any order, each with its own notice.
    const bool written = worker.Written();
    FWorkers->Release(worker);
    if (!written) {
        FDialogs.Warn(this, "Save Picture", "Fail to save the picture.");
        return;
    }
    // A picture changed since the save copied it is still unsaved.
    FDocument->Saved(generation);
}

void TfrmMain::mnuFileLoadClick() {
    TFileRequest request;
    request.Title = "Open Picture";
    request.Folder = DialogFolder(TFolderUse::LoadPicture);
    request.Filters = OpenFilters;
    request.FilterIndex = FOpenFilterIndex;
    request.PicturePreview = true;
    const auto choice = FDialogs.ChooseFile(this, request);
    if (!choice) return;
    FOpenFilterIndex = choice->FilterIndex;
    LoadPicture(choice->FileName);
}

void TfrmMain::LoadPicture(const QString& fileName) {
    auto picture = LoadPictureFile(fileName);
    if (!picture) {
        FDialogs.Warn(this, "Open Picture", "Fail to open the picture.");
        return;
    }
    // The resolution of the format the name's suffix (as QFileInfo takes it) names.
    TResolution resolution = FDocument->Resolution;
    if (const TPictureFormatInfo* named = FormatInfoForFileName(("picture." + QFileInfo(fileName).suffix()).toStdString()))
        resolution = UnpackResolution(CodecFor(named->Id).ReadResolution(fileName.toStdString()));
    FDocument->LoadPicture(std::move(*picture), resolution);
    CenterCanvas();
}

}  // namespace fernweave
