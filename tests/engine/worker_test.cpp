#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "worker.h"

namespace fernweave {
namespace {

// A job that waits until cancelled.
class TWaiting : public TWorker {
public:
    explicit TWaiting(EndNotice ended) : TWorker(std::move(ended)) {
        Start([this] {
            while (!cancelled_.load()) std::this_thread::yield();
        });
    }
    ~TWaiting() override { Stop(); }
    void Cancel() override { cancelled_.store(true); }

private:
    std::atomic<bool> cancelled_{false};
};

// Each end notice reaches the handler with its own worker, and a worker let
// go before its notice was handled takes the notice with it.
TEST(WorkerHost, EachNoticeCarriesItsWorkerAndALetGoWorkerIsNotHeardOf) {
    std::mutex m;
    std::deque<std::function<void()>> posted;
    TWorkerHost host([&](std::function<void()> call) {
        std::lock_guard lock(m);
        posted.push_back(std::move(call));
    });
    auto postedCount = [&] {
        std::lock_guard lock(m);
        return posted.size();
    };
    std::vector<TWorker*> ended;
    auto make = [](TWorker::EndNotice notice) { return std::make_unique<TWaiting>(std::move(notice)); };
    TWaiting& first = host.Start<TWaiting>(make, [&](TWaiting& w) { ended.push_back(&w); });
    TWaiting& second = host.Start<TWaiting>(make, [&](TWaiting& w) { ended.push_back(&w); });
    EXPECT_EQ(host.Count<TWaiting>(), 2u);

    second.Cancel();
    first.Cancel();
    first.Join();
    second.Join();
    ASSERT_EQ(postedCount(), 2u);
    host.Release(first);  // let go before its notice is handled
    for (auto& call : posted) call();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0], &second);
    EXPECT_EQ(host.Find<TWaiting>(), &second);
    host.Release(second);
    EXPECT_EQ(host.Find<TWaiting>(), nullptr);
}

}  // namespace
}  // namespace fernweave
