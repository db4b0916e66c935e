// The render worker: a thread that runs the prepared chaos-game loop until
// StopRequested, clears Rendering and then sends its end notice.
#pragma once

#include "fractal_state.h"
#include "picture.h"
#include "renderer.h"
#include "worker.h"

namespace fernweave {

class TRender : public TWorker {
public:
    // The window renders until stopped; a step limit lets the stress test end
    // a rendering on its own while a stop arrives.
    TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, EndNotice ended,
            std::uint64_t maxSteps = Unlimited);
    ~TRender() override { Stop(); }

    void Cancel() override { state_.StopRequested.store(true); }

private:
    FractalState& state_;
};

}  // namespace fernweave
