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

// From the start of the rendering until the picture is in place an interrupt
// stops the work and the run writes nothing; after that it is too late to
// undo anything, and the run ends in success. Before the rendering it ends
// the program as usual.
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

// Once the work is over the program only exits: an interrupt then must not
// turn a written picture into a failure.
std::atomic<bool> afterTheWork{false};

void SetRenderFlag(std::atomic<bool>* stop) { activeStopFlag.store(stop ? stop : &afterTheWork); }

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    fernweave::cli::RunHooks hooks;
    hooks.RenderFlag = SetRenderFlag;
    hooks.Progress = isatty(STDERR_FILENO) == 1;
    const int code = fernweave::cli::RunRenderTool(args, std::cout, std::cerr, hooks);
    std::cout.flush();
    if (!std::cout && code == fernweave::cli::ExitOk) {
        std::cerr << "fernweave-render: cannot write to standard output\n";
        return fernweave::cli::ExitFailed;
    }
    return code;
}
