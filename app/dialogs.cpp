#include "dialogs.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include "picture_loader.h"

namespace fernweave {

TQtDialogs::TQtDialogs() {
    // Qt's file and colour dialogs keep their history in a "QtProject" settings
    // file of the user's. The program keeps no settings: user-scope settings go
    // below /dev/null, where no folder can be made, so nothing is ever written.
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, "/dev/null");
}

TDialogs::Answer TQtDialogs::Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons,
                                     Icon icon) {
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Warning   ? QMessageBox::Warning
                                          : QMessageBox::Critical);
    if (buttons == Buttons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return buttons == Buttons::YesNoCancel ? Answer::Cancel : buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
}

std::optional<QColor> TQtDialogs::ChooseColor(QWidget* owner, QColor initial) {
    // Qt's own dialog: it always shows the custom colours and every basic colour.
    QColorDialog dialog(initial, owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QColor chosen = dialog.selectedColor();
    if (!chosen.isValid()) return std::nullopt;
    return chosen.toRgb();
}

namespace {

// The extension of the first pattern of a filter: "JPEG Image File (*.jpg)" gives "jpg".
QString SuffixOf(const QString& filter) {
    const QRegularExpressionMatch m = QRegularExpression(R"(\*\.([A-Za-z0-9]+))").match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

// A small preview of the picture under the cursor in the file list.
class TPicturePreview : public QLabel {
public:
    explicit TPicturePreview(QWidget* parent) : QLabel(parent) {
        setObjectName("picturePreview");
        setFixedSize(160, 160);
        setAlignment(Qt::AlignCenter);
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    }
    void Show(const QString& fileName) {
        // Through the program's own guarded readers: a click on a hostile file
        // must cost no more than loading it would.
        const auto picture = PictureKindOf(fileName) == TPictureKind::Other
                                 ? std::nullopt
                                 : LoadPictureFile(fileName, MaxPreviewPixels);
        if (!picture) {
            clear();
            return;
        }
        const QImage image(picture->Data(), picture->Width(), picture->Height(),
                           static_cast<qsizetype>(picture->Stride()), QImage::Format_BGR888);
        setPixmap(QPixmap::fromImage(
            image.scaled(width() - 8, height() - 8, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }

private:
    static constexpr std::uint64_t MaxPreviewPixels = std::uint64_t{1} << 26;
};

}  // namespace

std::optional<TFileChoice> TQtDialogs::ChooseFile(QWidget* owner, const TFileRequest& request) {
    // The folder alone: given to the constructor, a missing one would become a typed file name.
    QFileDialog dialog(owner, request.Title);
    dialog.setDirectory(request.Folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save || !request.MustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.Filters);
    const int index = std::clamp(request.FilterIndex, 1, static_cast<int>(std::max<qsizetype>(1, request.Filters.size())));
    if (!request.Filters.isEmpty()) dialog.selectNameFilter(request.Filters.at(index - 1));
    // A name typed without an extension gets the one of the chosen type.
    auto suffixFor = [&](const QString& filter) {
        const QString suffix = SuffixOf(filter);
        return request.Save && !suffix.isEmpty() ? suffix : request.DefaultSuffix;
    };
    dialog.setDefaultSuffix(request.Filters.isEmpty() ? request.DefaultSuffix : suffixFor(request.Filters.at(index - 1)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(suffixFor(filter));
        // Typing a name selects a file of the old type that starts with it
        // ("pic" picks "pic.bmp"); that file must not stand for the name.
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        const QString typed = name ? name->text() : QString();
        for (auto* view : dialog.findChildren<QAbstractItemView*>())
            if (view->selectionModel()) view->clearSelection();
        if (name) name->setText(typed);
    });
    if (request.PicturePreview) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* preview = new TPicturePreview(&dialog);
            grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
            QObject::connect(&dialog, &QFileDialog::currentChanged, preview, &TPicturePreview::Show);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    TFileChoice choice;
    choice.FileName = dialog.selectedFiles().first();
    choice.FilterIndex = static_cast<int>(request.Filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (choice.FilterIndex < 1) choice.FilterIndex = index;
    return choice;
}

TFolderPlaces CurrentFolderPlaces() {
    TFolderPlaces places;
    places.ProgramFolder = QCoreApplication::applicationDirPath();
    places.Installed = QFileInfo(QDir(places.ProgramFolder).filePath(InstalledMarkerName)).isFile();
    places.UserPictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    places.UserDocuments = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    places.Home = QDir::homePath();
    places.Writable = [](const QString& folder) { return QFileInfo(folder).isWritable(); };
    return places;
}

QString DialogFolder(TFolderUse use, const TFolderPlaces& places) {
    const bool objects = use == TFolderUse::ImportObject || use == TFolderUse::ExportObject;
    const bool writes = use == TFolderUse::ExportObject || use == TFolderUse::SavePicture;
    auto isDir = [](const QString& folder) { return !folder.isEmpty() && QFileInfo(folder).isDir(); };
    const QString beside = QDir(places.ProgramFolder).filePath(objects ? "Objects" : "Pictures");
    // Reading the shipped objects needs no write access; an installed program's
    // own folder is no place for the user's files.
    const bool besideFits = places.Installed ? use == TFolderUse::ImportObject
                                             : !writes || (places.Writable && places.Writable(beside));
    if (besideFits && isDir(beside)) return beside;
    const QString own = objects ? places.UserDocuments : places.UserPictures;
    if (isDir(own)) return own;
    return isDir(places.Home) ? places.Home : QDir::rootPath();
}

}  // namespace fernweave
