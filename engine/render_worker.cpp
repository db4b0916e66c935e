#include "render_worker.h"

namespace fernweave {

TRender::TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, EndNotice ended,
                 std::uint64_t maxSteps)
    : state_(state) {
    thread_ = std::thread([this, &state, &canvas, repaint, ended = std::move(ended), maxSteps] {
        RunPreparedLoop(state, canvas, repaint, maxSteps);
        state.Rendering.store(false);
        if (ended) ended(*this);
    });
}

TRender::TRender(FractalState& state, Picture24& canvas, RepaintRequest repaint, std::function<void()> ended,
                 std::uint64_t maxSteps)
    : TRender(state, canvas, repaint,
              ended ? EndNotice([ended = std::move(ended)](TRender&) { ended(); }) : EndNotice(), maxSteps) {}

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
