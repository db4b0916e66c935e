// Files that come from outside the program's dialogs: named on the command
// line, handed over by a second start, or dropped onto the window.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

#include "canvas_document.h"
#include "canvas_drawing_model.h"
#include "design_file.h"
#include "dialogs.h"
#include "main_window.h"
#include "object_file.h"
#include "picture_loader.h"
#include "renderer.h"
#include "safe_file.h"

namespace fernweave {

namespace {

bool StartsWithObjectMagic(const QString& fileName) {
    std::string head;
    return ReadFilePrefix(fileName.toStdString(), 2, head) && head == "\xB6\xA3";
}

// Classic IFS text or a flame, by the content (a PNG stays a picture).
bool IsDesignText(const QString& fileName) {
    std::string head;
    if (!ReadFilePrefix(fileName.toStdString(), 1 << 16, head)) return false;
    const DesignKind kind = DesignKindOf(head);
    return kind == DesignKind::IfsText || kind == DesignKind::Flame;
}

// The first local file of a drag, or an empty name.
QString DraggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

}  // namespace

void TfrmMain::OpenFile(const QString& fileName) {
    if (StartsWithObjectMagic(fileName) || IsDesignText(fileName)) {
        // Placed on its own base triangle.
        if (ImportObject(fileName)) FollowCanvas(FCanvasModel->Place(Canvas(), FState.BaseTriangle, CanvasTools()));
        return;
    }
    if (PictureKindOf(fileName) == TPictureKind::Other) {
        if (QFileInfo(fileName).suffix().compare("ifs", Qt::CaseInsensitive) == 0)
            FDialogs.Warn(this, "Import Object", "It is not a valid object.");
        else
            FDialogs.Warn(this, "Open Picture", "Fail to open the picture.");
        return;
    }
    if (!FDocument->FSaved && !AskToSavePicture()) return;
    LoadPicture(fileName);
}

void TfrmMain::OpenFileFromOutside(const QString& fileName, const QString& activationToken) {
    if (isMinimized()) showNormal();
    // Under Wayland only the desktop's token lets a window come forward; Qt reads it from here.
    if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    raise();
    activateWindow();
    FWaitingFiles.append(fileName);  // busy: the file waits its turn
    OpenWaitingFiles();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (IsIdle() && !DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* event) {
    if (IsIdle() && !DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QString fileName = DraggedFile(event->mimeData());
    if (!IsIdle() || fileName.isEmpty()) return;
    event->acceptProposedAction();
    // Opened after the drop has ended, so that a question does not hold up the program it came from.
    QMetaObject::invokeMethod(
        this, [this, fileName] { Guard([&] { OpenFileFromOutside(fileName); }); }, Qt::QueuedConnection);
}

}  // namespace fernweave
