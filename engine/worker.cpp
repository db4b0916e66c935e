#include "worker.h"

namespace fernweave {

void TWorkerHost::Release(TWorker& worker) {
    for (auto job = jobs_.begin(); job != jobs_.end(); ++job) {
        if ((*job)->Worker.get() != &worker) continue;
        worker.Join();
        // A notice being handled keeps its job alive until it returns.
        jobs_.erase(job);
        return;
    }
}

TWorker::EndNotice TWorkerHost::Notice(const std::shared_ptr<TJob>& job) {
    return [post = post_, weak = std::weak_ptr<TJob>(job)](TWorker&) {
        post([weak] {
            if (const auto kept = weak.lock(); kept && kept->Worker && kept->OnEnd) kept->OnEnd(*kept->Worker);
        });
    };
}

}  // namespace fernweave
