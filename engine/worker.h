// The one shape of the program's background jobs (a rendering, a save, a
// poster, the object editor's preview): a worker on a thread of its own that
// starts when it is made, can be asked to stop, and ends with one end notice
// that carries the worker itself. TWorkerHost keeps a window's workers and
// brings each end notice to the user-interface thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <thread>

namespace fernweave {

class TWorker {
public:
    // Called on the worker's thread when its work is over; it must only hand
    // the end over to the user-interface thread.
    using EndNotice = std::function<void(TWorker& ended)>;

    virtual ~TWorker() { Join(); }
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // Asks the work to stop; it ends, with its notice, as soon as it can.
    virtual void Cancel() = 0;
    // Waits for the thread: at once after the end notice.
    void Join() { if (thread_.joinable()) thread_.join(); }

protected:
    explicit TWorker(EndNotice ended) : ended_(std::move(ended)) {}
    // Runs `work`, then the end notice, on a thread of its own: the last step
    // of a constructor (or, after a Join, the start of more work).
    void Start(std::function<void()> work) {
        thread_ = std::thread([this, work = std::move(work)] {
            work();
            if (ended_) ended_(*this);
        });
    }
    // For destructors, before the worker's own members go: a worker still
    // running is cancelled, then waited for.
    void Stop() {
        if (!thread_.joinable()) return;
        Cancel();
        thread_.join();
    }

private:
    EndNotice ended_;
    std::thread thread_;
};

class TWorkerHost {
public:
    // Hands a call over to the user-interface thread; called on the workers' threads.
    using Post = std::function<void(std::function<void()> call)>;
    // Runs on the user-interface thread with the worker that ended.
    using Ended = std::function<void(TWorker& ended)>;

    explicit TWorkerHost(Post post) : post_(std::move(post)) {}
    ~TWorkerHost() = default;  // workers still running are cancelled and waited for
    TWorkerHost(const TWorkerHost&) = delete;
    TWorkerHost& operator=(const TWorkerHost&) = delete;

    // Keeps the worker that `make(notice)` builds with the end notice given;
    // when it ends, `ended` runs with it. Kept until Release.
    template <class W, class Make>
    W& Start(Make make, std::function<void(W& ended)> ended) {
        auto job = std::make_shared<TJob>();
        job->OnEnd = [ended = std::move(ended)](TWorker& worker) { ended(static_cast<W&>(worker)); };
        std::unique_ptr<W> worker = make(Notice(job));
        W& started = *worker;
        job->Worker = std::move(worker);
        jobs_.push_back(std::move(job));
        return started;
    }
    // Waits for the worker (ended, or cancelled) and lets it go; an end
    // notice of it still on its way is dropped.
    void Release(TWorker& worker);

    // The first kept worker of a kind, and how many are kept.
    template <class W>
    W* Find() const {
        for (const auto& job : jobs_)
            if (auto* w = dynamic_cast<W*>(job->Worker.get())) return w;
        return nullptr;
    }
    template <class W>
    std::size_t Count() const {
        return static_cast<std::size_t>(
            std::count_if(jobs_.begin(), jobs_.end(), [](const auto& job) { return dynamic_cast<W*>(job->Worker.get()); }));
    }

private:
    struct TJob {
        std::unique_ptr<TWorker> Worker;
        Ended OnEnd;
    };
    TWorker::EndNotice Notice(const std::shared_ptr<TJob>& job);

    Post post_;
    std::list<std::shared_ptr<TJob>> jobs_;
};

}  // namespace fernweave
