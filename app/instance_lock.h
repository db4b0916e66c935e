// Admits one running instance per user: a lock on a file named after the
// program in the user's runtime folder. The system drops it when the process ends.
#pragma once

#include <string>

namespace fernweave {

inline constexpr const char* InstanceLockName = "Lumenfold Fernweave 2.0";

// The user's own folder for files of the running program: $XDG_RUNTIME_DIR
// when it is a folder of the user's with mode 0700 (the desktop makes it for
// the user alone), else a folder "fernweave-UID" in
// the temporary folder, made with mode 0700 and used only while it is a real
// folder of the user's that nobody else can write to. Empty when no such
// folder can be had: another user may have made it first.
std::string SafeRuntimeFolder();

// True when another instance holds the lock. Otherwise takes the lock and
// keeps it until the process ends. A lock that cannot be made at all (no safe
// folder among them) lets the program start: one instance too many is better
// than none.
bool AlreadyRunning(const std::string& folder = SafeRuntimeFolder());

}  // namespace fernweave
