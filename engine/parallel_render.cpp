#include "parallel_render.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "hit_counter.h"
#include "lcg_jump.h"
#include "renderer.h"

namespace fernweave {

int AvailableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

std::uint64_t DefaultChunkSteps(std::uint64_t pixels) {
    // A merge passes over the whole layer: keep it a few percent of a chunk.
    return std::clamp<std::uint64_t>(pixels * 2, std::uint64_t{1} << 21, std::uint64_t{1} << 26);
}

int LayerCount(const ParallelOptions& options) {
    if (options.Layers > 0) return options.Layers;
    return options.Threads <= 1 ? 1 : options.Threads + 1;
}

namespace {

constexpr std::uint64_t DefaultWarmUp = 1024;

// Where the chain stands before a step: all that decides the steps after it,
// besides the generator, which is known for every step.
struct ChainPoint {
    TFloatPoint Point;
    std::array<std::int32_t, 4> Recent{};
};

bool SameBits(const ChainPoint& a, const ChainPoint& b) {
    return std::bit_cast<std::uint32_t>(a.Point.x) == std::bit_cast<std::uint32_t>(b.Point.x) &&
           std::bit_cast<std::uint32_t>(a.Point.y) == std::bit_cast<std::uint32_t>(b.Point.y) && a.Recent == b.Recent;
}

ChainPoint ChainStart(const FractalState& s) {
    return {{static_cast<float>(s.BaseTriangle[0].x), static_cast<float>(s.BaseTriangle[0].y)}, {0, 0, 0, 0}};
}

void CopyPrepared(const FractalState& from, FractalState& to) {
    to.SetObject(from.CurrentObject());
    to.PlacementMap = from.PlacementMap;
    to.RenderPlacedObject = from.RenderPlacedObject;
    to.PlotColor = from.PlotColor;
}

void Place(FractalState& s, const ChainPoint& p, std::uint32_t generator) {
    s.CurrentPoint = p.Point;
    s.RecentMaps = p.Recent;
    s.RandomState = generator;
}

ChainPoint Where(const FractalState& s) { return {s.CurrentPoint, s.RecentMaps}; }

void SetIdlePriority() {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

// Order-free merges cut the picture into a stripe of rows a thread.
int StripeCount(const ParallelOptions& options) { return std::clamp(options.Threads, 1, 32); }

// The chunk pipeline, for a job that paints chunks into layers and merges
// them. Job: Run(state, layer, stop, steps), Discard(layer), Merge(layer).
template <class Job>
class ChunkPipeline {
public:
    ChunkPipeline(const FractalState& prepared, Job& job, std::uint64_t steps, std::uint64_t chunkSteps,
                  const ParallelOptions& options)
        : prepared_(prepared), job_(job), steps_(steps), chunkSteps_(std::max<std::uint64_t>(1, chunkSteps)),
          options_(options), generator0_(prepared.RandomState), trueEnd_(ChainStart(prepared)) {
        chunkCount_ = (steps_ + chunkSteps_ - 1) / chunkSteps_;
        warmUp_ = options.WarmUp > 0 ? options.WarmUp : DefaultWarmUp;
        const int layers = LayerCount(options);
        ring_.resize(static_cast<std::size_t>(layers));
        for (int i = layers; i-- > 0;) freeLayers_.push_back(i);
        speculate_ = options.Threads > 1 || options.GuessEveryChunk;
    }

    ParallelStats Run() {
        const int threads = std::max(1, options_.Threads);
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back([this] { Work(); });
        Work();
        for (std::thread& t : pool) t.join();
        if (failure_) std::rethrow_exception(failure_);
        stats_.Chunks = merged_;
        stats_.Steps = merged_ == chunkCount_ ? steps_ : std::min(steps_, stepsMerged_);
        return stats_;
    }

private:
    enum class Status { Running, Computed, NeedsExact };
    struct Chunk {
        Status status = Status::Running;
        bool exact = false;
        int layer = -1;
        ChainPoint start, end;
        std::uint64_t plotted = 0;
    };

    Chunk& At(std::uint64_t i) { return ring_[i % ring_.size()]; }
    std::uint64_t First(std::uint64_t i) const { return i * chunkSteps_; }
    std::uint64_t Length(std::uint64_t i) const { return std::min(chunkSteps_, steps_ - First(i)); }
    bool Stopped() const { return options_.Stop && options_.Stop->load(std::memory_order_relaxed); }

    void Work() {
        if (options_.IdlePriority) SetIdlePriority();
        auto state = std::make_unique<FractalState>();
        CopyPrepared(prepared_, *state);
        std::unique_lock lock(mutex_);
        while (!aborted_ && merged_ < chunkCount_) {
            if (Stopped()) {
                aborted_ = true;
                break;
            }
            Verify();
            if constexpr (Job::OrderFree) {
                if (MergeStripe(lock)) continue;
            } else if (!merging_ && merged_ < verified_) {
                MergeNext(lock);
                continue;
            }
            std::uint64_t index = 0;
            ChainPoint from;
            bool exact = false, again = false;
            if (verified_ < started_ && At(verified_).status == Status::NeedsExact) {
                index = verified_;
                exact = again = true;
            } else if (verified_ == started_ && started_ < chunkCount_ && !freeLayers_.empty()) {
                index = started_++;
                At(index).layer = TakeLayer();
                exact = !(options_.GuessEveryChunk && speculate_);
            } else if (speculate_ && started_ < chunkCount_ && !freeLayers_.empty()) {
                index = started_++;
                At(index).layer = TakeLayer();
            } else {
                idle_.wait(lock);
                continue;
            }
            Chunk& chunk = At(index);
            chunk.status = Status::Running;
            chunk.exact = exact;
            if (exact) from = trueEnd_;
            const std::uint64_t warmUp = warmUp_;
            lock.unlock();
            bool done = false;
            try {
                if (again) job_.Discard(chunk.layer);
                done = Compute(*state, chunk, index, exact, from, warmUp);
            } catch (...) {
                lock.lock();
                if (!failure_) failure_ = std::current_exception();
                aborted_ = true;
                break;
            }
            lock.lock();
            if (!done) {
                aborted_ = true;
                break;
            }
            chunk.status = Status::Computed;
            idle_.notify_all();
        }
        idle_.notify_all();
    }

    int TakeLayer() {
        const int layer = freeLayers_.back();
        freeLayers_.pop_back();
        return layer;
    }

    // Outside the lock. False when stopped.
    bool Compute(FractalState& s, Chunk& chunk, std::uint64_t index, bool exact, const ChainPoint& from,
                 std::uint64_t warmUp) {
        const std::uint64_t first = First(index);
        const std::atomic<bool>& stop = options_.Stop ? *options_.Stop : never_;
        if (exact) {
            Place(s, from, JumpRandomState(generator0_, first));
        } else {
            // The guess: the first base vertex, a warm-up before the chunk.
            const std::uint64_t begin = first > warmUp ? first - warmUp : 0;
            Place(s, ChainStart(s), JumpRandomState(generator0_, begin));
            Picture24 none;
            if (ContinuePreparedLoop(s, none, stop, first - begin).Steps < first - begin) return false;
        }
        chunk.start = Where(s);
        const std::uint64_t length = Length(index);
        const RenderStats stats = job_.Run(s, chunk.layer, stop, length);
        chunk.end = Where(s);
        chunk.plotted = stats.Plotted;
        return stats.Steps == length;
    }

    // Under the lock: confirms computed chunks in step order.
    void Verify() {
        while (verified_ < started_) {
            Chunk& chunk = At(verified_);
            if (chunk.status != Status::Computed) return;
            if (!chunk.exact && !SameBits(chunk.start, trueEnd_)) {
                chunk.status = Status::NeedsExact;
                ++stats_.Recomputed;
                Missed();
                return;
            }
            if (!chunk.exact) failStreak_ = 0;
            trueEnd_ = chunk.end;
            stats_.Plotted += chunk.plotted;
            if constexpr (Job::OrderFree) merges_.push_back({verified_, chunk.layer, 0, 0});
            ++verified_;
        }
    }

    // A warm-up missed: a longer one for the next guesses; after a few misses
    // in a row the object evidently does not contract, and the chunks run one
    // after another from the true point.
    void Missed() {
        warmUp_ = std::min(warmUp_ * 4, std::max<std::uint64_t>(chunkSteps_ / 4, DefaultWarmUp));
        if (++failStreak_ >= 3) speculate_ = false;
    }

    // One merge at a time, in step order: the later chunk's pixels win.
    void MergeNext(std::unique_lock<std::mutex>& lock) {
        merging_ = true;
        const std::uint64_t index = merged_;
        const int layer = At(index).layer;
        lock.unlock();
        job_.Merge(layer, 0, 1);
        lock.lock();
        merging_ = false;
        Merged(index, layer);
    }

    // A job whose merges add up in any order cuts the picture into a stripe
    // a thread: threads merge different stripes at once, of the same chunk
    // or of different ones, and never two merges into one stripe. False when
    // no stripe is free to merge.
    bool MergeStripe(std::unique_lock<std::mutex>& lock) {
        const int stripes = StripeCount(options_);
        const std::uint32_t all = stripes == 32 ? ~0u : (1u << stripes) - 1;
        for (auto task = merges_.begin(); task != merges_.end(); ++task) {
            for (int stripe = 0; stripe < stripes; ++stripe) {
                const std::uint32_t bit = 1u << stripe;
                if ((task->taken & bit) || stripeBusy_[static_cast<std::size_t>(stripe)]) continue;
                task->taken |= bit;
                stripeBusy_[static_cast<std::size_t>(stripe)] = true;
                const int layer = task->layer;
                const std::uint64_t index = task->index;
                lock.unlock();
                job_.Merge(layer, stripe, stripes);
                lock.lock();
                stripeBusy_[static_cast<std::size_t>(stripe)] = false;
                // The list may have grown meanwhile: find the task again.
                const auto mine = std::find_if(merges_.begin(), merges_.end(),
                                               [index](const MergeTask& t) { return t.index == index; });
                mine->done |= bit;
                if (mine->done == all) {
                    merges_.erase(mine);
                    Merged(index, layer);
                } else {
                    idle_.notify_all();
                }
                return true;
            }
        }
        return false;
    }

    void Merged(std::uint64_t index, int layer) {
        freeLayers_.push_back(layer);
        ++merged_;
        stepsMerged_ += Length(index);
        if (options_.StepsDone) options_.StepsDone->store(options_.StepsBefore + stepsMerged_, std::memory_order_relaxed);
        idle_.notify_all();
    }

    struct MergeTask {
        std::uint64_t index;
        int layer;
        std::uint32_t taken, done;  // stripes, a bit each
    };

    const FractalState& prepared_;
    Job& job_;
    const std::uint64_t steps_;
    const std::uint64_t chunkSteps_;
    const ParallelOptions& options_;
    const std::uint32_t generator0_;
    const std::atomic<bool> never_{false};

    std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<Chunk> ring_;  // chunk i at i % size: chunks merged_ .. started_ - 1
    std::vector<int> freeLayers_;
    std::uint64_t chunkCount_ = 0;
    std::uint64_t started_ = 0, verified_ = 0, merged_ = 0;  // merged_: merges finished
    std::uint64_t stepsMerged_ = 0;
    std::deque<MergeTask> merges_;  // verified chunks of an order-free job, not yet merged
    std::vector<bool> stripeBusy_ = std::vector<bool>(static_cast<std::size_t>(StripeCount(options_)));
    ChainPoint trueEnd_;  // the true point before chunk verified_
    std::uint64_t warmUp_ = DefaultWarmUp;
    int failStreak_ = 0;
    bool speculate_ = false;
    bool merging_ = false;
    bool aborted_ = false;
    std::exception_ptr failure_;
    ParallelStats stats_;
};

// Plain layers: a picture and its painted bits; the merge copies the painted
// pixels, so the later chunk's colour wins.
class PlainJob {
public:
    static constexpr bool OrderFree = false;
    // Stops setting up its layers when `stop` is set; then it is not Ready.
    PlainJob(Picture24& canvas, int firstRow, int layers, const std::atomic<bool>* stop)
        : canvas_(canvas), firstRow_(firstRow), layers_(static_cast<std::size_t>(layers)) {
        const std::size_t pixels = static_cast<std::size_t>(canvas.Width()) * static_cast<std::size_t>(canvas.Height());
        for (Layer& l : layers_) {
            // Filled, so the memory is really there.
            if (!l.pixels.Reset(canvas.Width(), canvas.Height(), clBlack, stop)) return;
            l.painted.Resize(pixels);
        }
        ready_ = true;
    }

    bool Ready() const { return ready_; }

    RenderStats Run(FractalState& s, int layer, const std::atomic<bool>& stop, std::uint64_t steps) {
        Layer& l = layers_[static_cast<std::size_t>(layer)];
        std::swap(s.PaintedBits, l.painted);
        const RenderStats stats = ContinuePreparedLoop(s, l.pixels, stop, steps, firstRow_);
        std::swap(s.PaintedBits, l.painted);
        return stats;
    }

    void Discard(int layer) {
        BitSet& painted = layers_[static_cast<std::size_t>(layer)].painted;
        painted.Resize(painted.Size());
    }

    void Merge(int layer, int, int) {
        Layer& l = layers_[static_cast<std::size_t>(layer)];
        const std::size_t width = static_cast<std::size_t>(canvas_.Width());
        const std::size_t pixels = width * static_cast<std::size_t>(canvas_.Height());
        std::uint64_t* const words = l.painted.ReserveWords(pixels);
        const std::size_t stride = canvas_.Stride();
        for (std::size_t w = 0, n = (pixels + 63) / 64; w < n; ++w) {
            std::uint64_t bits = words[w];
            if (bits == 0) continue;
            words[w] = 0;
            const std::size_t y0 = w * 64 / width, x0 = w * 64 - y0 * width;
            while (bits != 0) {
                std::size_t x = x0 + static_cast<std::size_t>(std::countr_zero(bits)), y = y0;
                bits &= bits - 1;
                for (; x >= width; x -= width) ++y;  // the word runs into the next rows
                const std::size_t at = y * stride + 3 * x;
                std::copy_n(l.pixels.Data() + at, 3, canvas_.Data() + at);
            }
        }
    }

private:
    struct Layer {
        Picture24 pixels;
        BitSet painted;
    };
    Picture24& canvas_;
    int firstRow_;
    std::vector<Layer> layers_;
    bool ready_ = false;
};

// Density layers: one chunk's list of hits; the merge adds those of one
// stripe of rows into the shared picture (other stripes may merge meanwhile).
class DensityJob {
public:
    static constexpr bool OrderFree = true;

    // direct: one chain in step order, which adds its hits straight into the picture.
    DensityJob(DensityPicture& picture, int factor, int layers, std::uint64_t chunkSteps, bool direct, int stripes)
        : picture_(picture), layers_(static_cast<std::size_t>(layers)), direct_(direct),
          stripes_(static_cast<std::size_t>(stripes)), bounds_(layers_.size() * (stripes_ + 1)) {
        if (!direct)
            for (auto& l : layers_) l.resize(static_cast<std::size_t>(chunkSteps));
        columnCell_.resize(static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(factor));
        for (std::size_t x = 0; x < columnCell_.size(); ++x) columnCell_[x] = static_cast<std::uint32_t>(x / factor);
        rowCell_.resize(static_cast<std::size_t>(picture.Height) * static_cast<std::size_t>(factor));
        const std::size_t first = static_cast<std::size_t>(picture.FirstRow);
        const std::size_t rows = static_cast<std::size_t>(picture.Rows());
        for (std::size_t y = 0; y < rowCell_.size(); ++y) {
            const std::size_t row = y / static_cast<std::size_t>(factor);
            rowCell_[y] = row >= first && row - first < rows ? (row - first) * static_cast<std::size_t>(picture.Width)
                                                             : RowOutside;
        }
    }

    RenderStats Run(FractalState& s, int layer, const std::atomic<bool>& stop, std::uint64_t steps) {
        Layer& l = layers_[static_cast<std::size_t>(layer)];
        HitTarget target{l.data(),
                         direct_ ? picture_.Cells.data() : nullptr,
                         {&DensityJob::SpillCell, this},
                         columnCell_.data(),
                         rowCell_.data(),
                         static_cast<std::uint32_t>(columnCell_.size()),
                         static_cast<std::uint32_t>(rowCell_.size())};
        const RenderStats stats = ContinuePreparedCounting(s, target, stop, steps);
        ends_[static_cast<std::size_t>(layer)] = static_cast<std::size_t>(target.Next - l.data());
        if (!direct_) Partition(layer);
        return stats;
    }

    void Discard(int layer) { ends_[static_cast<std::size_t>(layer)] = 0; }

    // Adds the hits of the layer that fall into stripe `stripe`.
    void Merge(int layer, int stripe, int) {
        const Layer& l = layers_[static_cast<std::size_t>(layer)];
        const std::size_t* bounds = bounds_.data() + static_cast<std::size_t>(layer) * (stripes_ + 1);
        DensityCell* const target = picture_.Cells.data();
        for (std::size_t i = bounds[stripe], end = bounds[stripe + 1]; i < end; ++i) {
            const HitEntry e = l[i];
            if (AddHit(target[e >> HitColorBits], static_cast<std::uint32_t>(e))) [[unlikely]]
                SpillCell(this, e >> HitColorBits, target[e >> HitColorBits]);
        }
    }

    // Sets a full cell's sums aside; stripes merging at once may both spill.
    static void SpillCell(void* self, std::uint64_t cell, DensityCell& c) {
        DensityJob& job = *static_cast<DensityJob*>(self);
        std::lock_guard lock(job.spillMutex_);
        SpilledCell spilled{cell, {}};
        spilled.Sums.Add(c);
        job.picture_.Spilled.push_back(spilled);
        c = {};
    }

private:
    using Layer = std::vector<HitEntry>;

    // Puts the chunk's hits in stripe order: each stripe's merge then runs
    // through its own hits without a branch a hit, which the processor could
    // not foresee, and its cache misses overlap.
    void Partition(int layer) {
        HitEntry* const begin = layers_[static_cast<std::size_t>(layer)].data();
        HitEntry* const end = begin + ends_[static_cast<std::size_t>(layer)];
        std::size_t* bounds = bounds_.data() + static_cast<std::size_t>(layer) * (stripes_ + 1);
        const std::uint64_t cells = picture_.Cells.size();
        HitEntry* at = begin;
        bounds[0] = 0;
        for (std::size_t stripe = 1; stripe < stripes_; ++stripe) {
            const std::uint64_t from = cells * stripe / stripes_;
            at = std::partition(at, end, [from](HitEntry e) { return (e >> HitColorBits) < from; });
            bounds[stripe] = static_cast<std::size_t>(at - begin);
        }
        bounds[stripes_] = static_cast<std::size_t>(end - begin);
    }

    DensityPicture& picture_;
    std::mutex spillMutex_;
    std::vector<Layer> layers_;
    bool direct_;
    std::size_t stripes_;
    std::vector<std::size_t> bounds_;  // a layer's stripes: stripes_ + 1 offsets each
    std::vector<std::size_t> ends_ = std::vector<std::size_t>(layers_.size());
    std::vector<std::uint32_t> columnCell_;
    std::vector<std::uint64_t> rowCell_;
};

// A density chunk's list takes 8 bytes a step: short chunks keep it small,
// and its merge costs its hits, not the picture's size.
constexpr std::uint64_t DensityChunkSteps = std::uint64_t{1} << 20;

std::uint64_t DensityChunkStepsFor(const ParallelOptions& options) {
    return options.ChunkSteps > 0 ? std::min(options.ChunkSteps, MaxCountingChunk) : DensityChunkSteps;
}

}  // namespace

ParallelStats RenderPlainParallel(const FractalState& prepared, Picture24& canvas, std::uint64_t steps,
                                  const ParallelOptions& options, int firstRow) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(canvas.Width()) * static_cast<std::uint64_t>(canvas.Height());
    const std::uint64_t chunkSteps = options.ChunkSteps > 0 ? options.ChunkSteps : DefaultChunkSteps(pixels);
    if (options.Threads <= 1 && !options.GuessEveryChunk) {
        // One chain straight onto the canvas, in pieces for the progress.
        if (options.IdlePriority) SetIdlePriority();
        auto s = std::make_unique<FractalState>();
        CopyPrepared(prepared, *s);
        Place(*s, ChainStart(prepared), prepared.RandomState);
        s->ResetPaintedBits(pixels);
        if (options.MemoryReady) options.MemoryReady->store(true);
        const std::atomic<bool> never{false};
        const std::atomic<bool>& stop = options.Stop ? *options.Stop : never;
        ParallelStats stats;
        while (stats.Steps < steps) {
            const std::uint64_t piece = std::min(chunkSteps, steps - stats.Steps);
            const RenderStats r = ContinuePreparedLoop(*s, canvas, stop, piece, firstRow);
            stats.Steps += r.Steps;
            stats.Plotted += r.Plotted;
            ++stats.Chunks;
            if (options.StepsDone) options.StepsDone->store(options.StepsBefore + stats.Steps, std::memory_order_relaxed);
            if (r.Steps < piece) break;
        }
        return stats;
    }
    PlainJob job(canvas, firstRow, LayerCount(options), options.Stop);
    if (!job.Ready()) return {};
    if (options.MemoryReady) options.MemoryReady->store(true);
    return ChunkPipeline<PlainJob>(prepared, job, steps, chunkSteps, options).Run();
}

std::uint64_t PlainJobBytes(int width, int height, const ParallelOptions& options) {
    if (options.Threads <= 1) return static_cast<std::uint64_t>((static_cast<std::uint64_t>(width) * height + 63) / 64 * 8);
    const std::uint64_t layer = Picture24::StrideFor(width) * static_cast<std::uint64_t>(height) +
                                (static_cast<std::uint64_t>(width) * height + 63) / 64 * 8;
    return layer * static_cast<std::uint64_t>(LayerCount(options));
}

ParallelStats RenderDensityParallel(const FractalState& prepared, DensityPicture& picture, int factor,
                                    std::uint64_t steps, const ParallelOptions& options) {
    const std::uint64_t chunkSteps = DensityChunkStepsFor(options);
    const bool direct = options.Threads <= 1 && !options.GuessEveryChunk;
    DensityJob job(picture, factor, LayerCount(options), chunkSteps, direct, StripeCount(options));
    if (options.MemoryReady) options.MemoryReady->store(true);
    ParallelStats stats = ChunkPipeline<DensityJob>(prepared, job, steps, chunkSteps, options).Run();
    // One entry a spilled cell, in cell order; the sums do not depend on the order of the spills.
    auto& spilled = picture.Spilled;
    std::sort(spilled.begin(), spilled.end(), [](const SpilledCell& a, const SpilledCell& b) { return a.Cell < b.Cell; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < spilled.size(); ++i) {
        if (kept > 0 && spilled[kept - 1].Cell == spilled[i].Cell)
            spilled[kept - 1].Sums.Add(spilled[i].Sums);
        else
            spilled[kept++] = spilled[i];
    }
    spilled.resize(kept);
    // The counting loop keeps no count of its own: every hit is a plotted step.
    stats.Plotted = 0;
    picture.ForEachCell([&](std::size_t, const DensitySums& sums) { stats.Plotted += sums.Count; });
    return stats;
}

std::uint64_t DensityJobBytes(int width, int height, int factor, const ParallelOptions& options, int rows) {
    const std::uint64_t cells = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows > 0 ? rows : height);
    const std::uint64_t chunkSteps = DensityChunkStepsFor(options);
    return cells * sizeof(DensityCell) + static_cast<std::uint64_t>(LayerCount(options)) * chunkSteps * sizeof(HitEntry) +
           static_cast<std::uint64_t>(factor) * (width * sizeof(std::uint32_t) + height * sizeof(std::uint64_t));
}

void LitCounts::Add(std::uint64_t count) {
    if (count == 0) return;
    ++lit_;
    if (count >= Dense) {
        large_.push_back(count);
        return;
    }
    if (count >= small_.size()) small_.resize(static_cast<std::size_t>(count) + 1);
    ++small_[static_cast<std::size_t>(count)];
}

void LitCounts::Add(const DensityPicture& picture) {
    picture.ForEachCell([this](std::size_t, const DensitySums& sums) { Add(sums.Count); });
}

std::uint64_t LitCounts::WhiteCount(double whitePoint) const {
    if (lit_ == 0) return 0;
    const double share = std::clamp(whitePoint, 0.0, 100.0) / 100.0;
    const std::uint64_t rank =  // the rank-th smallest lit count
        std::clamp<std::uint64_t>(static_cast<std::uint64_t>(std::ceil(share * static_cast<double>(lit_))), 1, lit_);
    std::uint64_t below = 0;
    for (std::size_t c = 1; c < small_.size(); ++c) {
        below += small_[c];
        if (below >= rank) return c;
    }
    std::vector<std::uint64_t> large = large_;
    const auto nth = large.begin() + static_cast<std::ptrdiff_t>(rank - below - 1);
    std::nth_element(large.begin(), nth, large.end());
    return *nth;
}

std::uint64_t WhiteCount(const std::vector<std::uint64_t>& counts, double whitePoint) {
    LitCounts lit;
    for (const std::uint64_t c : counts) lit.Add(c);
    return lit.WhiteCount(whitePoint);
}

std::uint64_t WhiteCount(const DensityPicture& picture, double whitePoint) {
    LitCounts lit;
    lit.Add(picture);
    return lit.WhiteCount(whitePoint);
}

void ShadeDensity(const DensityPicture& picture, TColor background, const DensityTone& tone, Picture24& out) {
    ShadeDensity(picture, background, tone, WhiteCount(picture, tone.WhitePoint), out);
}

namespace {

// Each lit pixel's brightness a and colour (blue, green, red, highlights done),
// before any rounding, in row order: shade(x, y, a, colour).
template <class Shade>
void ShadePixels(const DensityPicture& picture, const DensityTone& tone, std::uint64_t white, const Shade& shade) {
    if (white == 0) return;
    const double logWhite = std::log1p(static_cast<double>(white));
    const double exponent = 1.0 / tone.Gamma;
    const double gain = std::exp2(tone.Exposure);
    const std::size_t width = static_cast<std::size_t>(picture.Width);
    picture.ForEachCell([&](std::size_t i, const DensitySums& c) {
        if (c.Count == 0) return;
        const double count = static_cast<double>(c.Count);
        const double r = gain * std::pow(std::log1p(count) / logWhite, exponent);
        const double toWhite = r > 1 ? tone.Highlights * std::min(1.0, r - 1) : 0.0;
        const std::uint64_t sums[3] = {c.Blue, c.Green, c.Red};
        double color[3];
        for (int ch = 0; ch < 3; ++ch) {
            color[ch] = static_cast<double>(sums[ch]) / count;
            if (toWhite > 0) color[ch] += toWhite * (255 - color[ch]);
        }
        shade(static_cast<int>(i % width), static_cast<int>(i / width), std::min(1.0, r), color);
    });
}

std::uint16_t Sample(double v, double scale) {
    return static_cast<std::uint16_t>(std::clamp(std::nearbyint(v * scale), 0.0, 255.0 * scale));  // halves to even
}

}  // namespace

void ShadeDensity(const DensityPicture& picture, TColor background, const DensityTone& tone, std::uint64_t white,
                  Picture24& out) {
    out.Reset(picture.Width, picture.Rows(), background);
    const double back[3] = {static_cast<double>(BlueOf(background)), static_cast<double>(GreenOf(background)),
                            static_cast<double>(RedOf(background))};
    ShadePixels(picture, tone, white, [&](int x, int y, double a, const double* color) {
        std::uint8_t* p = out.Row(y) + 3 * static_cast<std::size_t>(x);
        for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>(Sample(back[ch] + a * (color[ch] - back[ch]), 1));
    });
}

void ShadeDensityDeep(const DensityPicture& picture, TColor background, const DensityTone& tone, std::uint64_t white,
                      bool alpha, int bits, DeepPicture& out) {
    const std::size_t channels = alpha ? 4 : 3;
    const double scale = bits == 16 ? 257 : 1;
    const double back[3] = {static_cast<double>(BlueOf(background)), static_cast<double>(GreenOf(background)),
                            static_cast<double>(RedOf(background))};
    out.Width = picture.Width;
    out.Height = picture.Rows();
    out.Alpha = alpha;
    out.Bits = bits;
    out.Samples.assign(static_cast<std::size_t>(out.Width) * static_cast<std::size_t>(out.Height) * channels, 0);
    if (!alpha)
        for (std::size_t i = 0; i < out.Samples.size(); i += 3)
            for (int ch = 0; ch < 3; ++ch) out.Samples[i + static_cast<std::size_t>(2 - ch)] = Sample(back[ch], scale);
    ShadePixels(picture, tone, white, [&](int x, int y, double a, const double* color) {
        std::uint16_t* p =
            out.Samples.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(out.Width) + x) * channels;
        for (int ch = 0; ch < 3; ++ch)  // red first
            p[2 - ch] = alpha ? Sample(color[ch], scale) : Sample(back[ch] + a * (color[ch] - back[ch]), scale);
        if (alpha) p[3] = Sample(255 * a, scale);
    });
}

void TransparentBackground(const Picture24& picture, TColor background, DeepPicture& out) {
    out.Width = picture.Width();
    out.Height = picture.Height();
    out.Alpha = true;
    out.Bits = 8;
    out.Samples.resize(static_cast<std::size_t>(out.Width) * static_cast<std::size_t>(out.Height) * 4);
    std::uint16_t* p = out.Samples.data();
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x, p += 4) {
            const TColor c = picture.Pixel(x, y);
            p[0] = static_cast<std::uint16_t>(RedOf(c));
            p[1] = static_cast<std::uint16_t>(GreenOf(c));
            p[2] = static_cast<std::uint16_t>(BlueOf(c));
            p[3] = c == background ? 0 : 255;
        }
}

}  // namespace fernweave
