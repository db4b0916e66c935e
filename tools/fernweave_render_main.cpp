// fernweave-render: the headless renderer. Everything but the signal handling
// is in render_cli.cpp.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "render_cli.h"

namespace {

// The stop flag of the rendering in progress. A signal handler can reach
// nothing but a global, so this one pointer is one.
std::atomic<std::atomic<bool>*> activeStopFlag{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);

sigset_t InterruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// During a rendering an interrupt ends the loop and the run writes nothing;
// at any other moment it ends the program as usual.
extern "C" void OnInterrupt(int signal) {
    if (std::atomic<bool>* stop = activeStopFlag.load()) {
        stop->store(true, std::memory_order_relaxed);
        return;
    }
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    sigemptyset(&dflt.sa_mask);
    sigaction(signal, &dflt, nullptr);
    raise(signal);
}

void SetRenderFlag(std::atomic<bool>* stop) { activeStopFlag.store(stop); }

// The writes are held together: an interrupt waits until they are done, so
// that no temporary file is left behind.
void HoldInterrupts(bool begin) {
    const sigset_t set = InterruptSignals();
    sigprocmask(begin ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    fernweave::cli::RunHooks hooks;
    hooks.RenderFlag = SetRenderFlag;
    hooks.Writing = HoldInterrupts;
    hooks.Progress = isatty(STDERR_FILENO) == 1;
    const int code = fernweave::cli::RunRenderTool(args, std::cout, std::cerr, hooks);
    std::cout.flush();
    if (!std::cout && code == fernweave::cli::ExitOk) {
        std::cerr << "fernweave-render: cannot write to standard output\n";
        return fernweave::cli::ExitFailed;
    }
    return code;
}
