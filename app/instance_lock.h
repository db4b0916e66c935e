// Admits one running instance per user: a lock on a file named after the
// program in the user's runtime folder. The system drops it when the process ends.
#pragma once

#include <string>

namespace fernweave {

inline constexpr const char* InstanceLockName = "Lumenfold Fernweave 2.0";

// The folder of the lock: $XDG_RUNTIME_DIR, else a per-user folder in the temporary folder.
std::string InstanceLockFolder();

// True when another instance holds the lock. Otherwise takes the lock and
// keeps it until the process ends. A lock that cannot be made at all lets the
// program start: one instance too many is better than none.
bool AlreadyRunning(const std::string& folder = InstanceLockFolder());

}  // namespace fernweave
