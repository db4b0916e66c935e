// Every message box (and later every file dialog) goes through this one small
// interface, so that tests can answer them.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace fernweave {

// What an open or save dialog asks for.
struct TFileRequest {
    bool Save = false;
    QString Title;
    QString Folder;          // where the dialog starts
    QStringList Filters;     // "label (patterns)", in order
    int FilterIndex = 1;     // 1-based, the type it opens on
    QString DefaultSuffix;   // given to a name typed without an extension; follows the chosen type
    bool MustExist = false;  // open dialogs: the chosen file must exist
    bool PicturePreview = false;
};

struct TFileChoice {
    QString FileName;
    int FilterIndex = 1;  // the type chosen, 1-based
};

class TDialogs {
public:
    enum class Buttons { Ok, YesNoCancel, YesNo };
    enum class Icon { Information, Warning, Error };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~TDialogs() = default;

    // A modal message box owned by `owner`.
    virtual Answer Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons, Icon icon) = 0;
    // The common messages: an Ok button with a warning or an information icon.
    void Warn(QWidget* owner, const QString& title, const QString& text) {
        Message(owner, title, text, Buttons::Ok, Icon::Warning);
    }
    void Inform(QWidget* owner, const QString& title, const QString& text) {
        Message(owner, title, text, Buttons::Ok, Icon::Information);
    }
    // The modal colour dialog, preset to `initial`; nothing when it is closed without confirming.
    virtual std::optional<QColor> ChooseColor(QWidget* owner, QColor initial) = 0;
    // A modal open or save dialog; nothing when it is cancelled. Save dialogs
    // ask before an existing file is replaced.
    virtual std::optional<TFileChoice> ChooseFile(QWidget* owner, const TFileRequest& request) = 0;
};

// The real dialogs of the desktop.
class TQtDialogs : public TDialogs {
public:
    TQtDialogs();
    Answer Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons, Icon icon) override;
    std::optional<QColor> ChooseColor(QWidget* owner, QColor initial) override;
    std::optional<TFileChoice> ChooseFile(QWidget* owner, const TFileRequest& request) override;
};

// The file beside an installed program's executable that tells it it is installed.
inline constexpr const char* InstalledMarkerName = "fernweave.installed";

// The four file dialogs that need a folder to start in.
enum class TFolderUse { ImportObject, ExportObject, LoadPicture, SavePicture };

// What the starting folders are chosen from.
struct TFolderPlaces {
    QString ProgramFolder;  // the executable's folder
    bool Installed = false;
    QString UserPictures, UserDocuments, Home;
    std::function<bool(const QString& folder)> Writable;
};
TFolderPlaces CurrentFolderPlaces();

// Run from its own folder, the program starts its dialogs in "Objects" and
// "Pictures" beside the executable; where that folder is missing (or cannot be
// written and the dialog writes), in the user's pictures or documents folder.
// Installed, only Import starts in the shipped "Objects"; the others start in
// the user's folders. Always an existing folder: the home folder at last.
QString DialogFolder(TFolderUse use, const TFolderPlaces& places = CurrentFolderPlaces());

}  // namespace fernweave
