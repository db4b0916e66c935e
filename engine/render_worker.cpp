#include "render_worker.h"

namespace fernweave {

TRender::TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, EndNotice ended,
                 std::uint64_t maxSteps)
    : state_(state) {
    thread_ = std::thread([&state, &canvas, repaint, ended = std::move(ended), maxSteps] {
        RunPreparedLoop(state, canvas, repaint, maxSteps);
        state.Rendering.store(false);
        if (ended) ended();
    });
}

TRender::~TRender() {
    if (thread_.joinable()) {
        state_.StopRequested.store(true);
        thread_.join();
    }
}

void TRender::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace fernweave
