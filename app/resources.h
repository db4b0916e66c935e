// The program's own images and cursors, from its bundled resources.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QString>

namespace fernweave {

// The cursor table: 1 = pencil (canvas), 2 = eyedropper (spectrum, colour grid), 3 = hand (web label).
// Makes the bundled resources available; called once before any is used.
void LoadProgramResources();

enum class TCursorId { Pencil = 1, Eyedrop = 2, Hand = 3 };

QCursor ProgramCursor(TCursorId id);

// A toolbar icon with its normal and disabled look, by name ("new", "load", ...).
QIcon ToolbarIcon(const QString& name);

}  // namespace fernweave
