#include "resources.h"

#include <QPixmap>

// The resources live in a static library; naming them here keeps the linker from dropping them.
static void InitProgramResources() { Q_INIT_RESOURCE(fernweave); }

namespace fernweave {

void LoadProgramResources() {
    static const bool loaded = (InitProgramResources(), true);
    (void)loaded;
}

QCursor ProgramCursor(TCursorId id) {
    switch (id) {
        case TCursorId::Pencil:
            return QCursor(QPixmap(":/PENCIL"), 12, 24);
        case TCursorId::Eyedrop:
            return QCursor(QPixmap(":/EYEDROP"), 8, 23);
        case TCursorId::Hand:
            return QCursor(QPixmap(":/HAND"), 6, 4);
    }
    return QCursor();
}

QIcon ToolbarIcon(const QString& name) {
    QIcon icon;
    icon.addFile(":/icons/" + name + ".svg", QSize(20, 20), QIcon::Normal);
    icon.addFile(":/icons/disabled/" + name + ".svg", QSize(20, 20), QIcon::Disabled);
    return icon;
}

}  // namespace fernweave
