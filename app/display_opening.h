// Opening the display: Qt's own messages while the toolkit starts are held
// back; when no display can be opened the program says so in one line of its
// own and ends with exit code 1 instead of aborting.
#pragma once

namespace fernweave {

inline constexpr const char* NoDisplayMessage = "fernweave: cannot open a display";

// Around the construction of the application object: Begin before, End after.
// End passes the messages held back on to Qt's handler.
void BeginOpeningDisplay();
void EndOpeningDisplay();

}  // namespace fernweave
