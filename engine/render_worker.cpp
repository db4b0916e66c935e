#include "render_worker.h"

namespace fernweave {

TRender::TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, EndNotice ended,
                 std::uint64_t maxSteps)
    : TWorker(std::move(ended)), state_(state) {
    Start([&state, &canvas, repaint, maxSteps] {
        RunPreparedLoop(state, canvas, repaint, maxSteps);
        state.Rendering.store(false);
    });
}

}  // namespace fernweave
