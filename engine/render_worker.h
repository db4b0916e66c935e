// The render worker: a thread that runs the prepared chaos-game loop until
// StopRequested, clears Rendering and then reports its end.
#pragma once

#include <functional>
#include <thread>

#include "fractal_state.h"
#include "picture.h"
#include "renderer.h"

namespace fernweave {

class TRender {
public:
    // Called on the worker thread after Rendering is false, with the worker
    // that ended; it must only hand the end over to the user-interface thread.
    using EndNotice = std::function<void(TRender& finished)>;

    // The end notice is in place before the thread starts, so no end is missed.
    // The window renders until stopped; a step limit lets the stress test end
    // a rendering on its own while a stop arrives.
    TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, EndNotice ended,
            std::uint64_t maxSteps = Unlimited);
    TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, std::function<void()> ended,
            std::uint64_t maxSteps = Unlimited);
    // Stops and waits for a worker still running.
    ~TRender();
    TRender(const TRender&) = delete;
    TRender& operator=(const TRender&) = delete;

    // Waits for the thread to finish; call after the end notice arrived.
    void Join();

private:
    FractalState& state_;
    std::thread thread_;
};

}  // namespace fernweave
