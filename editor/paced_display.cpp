#include "paced_display.h"

#include <time.h>

#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace fernweave {

namespace {

double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

}  // namespace

int FrameInterval(double refreshHz, double paintCostMs) {
    if (!(refreshHz >= 1 && refreshHz <= 1000)) refreshHz = 60;
    // Rounded up: never faster than the screen.
    const int fastest = static_cast<int>(std::ceil(1000.0 / refreshHz));
    const double affordable = paintCostMs / PaintShare;
    const int interval =
        std::isfinite(affordable) ? static_cast<int>(std::ceil(std::max(0.0, affordable))) : SlowestFrameIntervalMs;
    return std::clamp(interval, fastest, std::max(fastest, SlowestFrameIntervalMs));
}

TFrameClock::TFrameClock(QWidget* target) : QObject(target), target_(target), timer_(new QTimer(this)) {
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void TFrameClock::MarkDirty() {
    // Ordered against the clock going to rest in Tick, so no mark is lost.
    dirty_.store(true, std::memory_order_seq_cst);
    if (ticking_.load(std::memory_order_seq_cst)) return;
    if (!wakePosted_.exchange(true)) QMetaObject::invokeMethod(this, [this] { Wake(); }, Qt::QueuedConnection);
}

bool TFrameClock::Ticking() const { return timer_->isActive(); }

void TFrameClock::Wake() {
    wakePosted_.store(false);
    if (timer_->isActive()) return;
    const QScreen* screen = target_->screen();
    interval_ = FrameInterval(screen ? screen->refreshRate() : 0, paintCostMs_);
    ticking_.store(true, std::memory_order_release);
    timer_->start(interval_);
}

void TFrameClock::Start() {
    running_ = true;
    lastFrame_ = std::chrono::steady_clock::now();
    Wake();
}

void TFrameClock::Finish() {
    running_ = false;
    dirty_.store(false, std::memory_order_relaxed);
    Frame();  // the points plotted since the last frame
}

void TFrameClock::Tick() {
    const bool dirty = dirty_.exchange(false, std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    // Clean, it paints at the last tick before the gap would pass its limit.
    const auto gapAtNextTick = now - lastFrame_ + std::chrono::milliseconds(interval_);
    if (dirty || (running_ && gapAtNextTick > std::chrono::milliseconds(MaxFrameGapMs))) Frame();
    if (running_ || dirty) return;
    // Resting: a mark that comes after this wakes the clock again.
    timer_->stop();
    ticking_.store(false, std::memory_order_seq_cst);
    if (dirty_.load(std::memory_order_seq_cst)) Wake();
}

void TFrameClock::Frame() {
    lastFrame_ = std::chrono::steady_clock::now();
    if (BeforeFrame) BeforeFrame();
    const double before = ThreadMs();
    target_->repaint();  // paints the visible part and puts it on the screen now
    const double cost = ThreadMs() - before;
    paintCostMs_ = paintCostMs_ == 0 ? cost : 0.8 * paintCostMs_ + 0.2 * cost;
    const QScreen* screen = target_->screen();
    const int interval = FrameInterval(screen ? screen->refreshRate() : 0, paintCostMs_);
    if (interval != interval_) {
        interval_ = interval;
        if (timer_->isActive()) timer_->setInterval(interval_);
    }
}

void PaintPicture24(QPainter& painter, const QRegion& region, const Picture24& picture, QImage& scratch) {
    const QRect bounds(0, 0, picture.Width(), picture.Height());
    for (const QRect& exposed : region) {
        const QRect r = exposed & bounds;
        if (r.isEmpty()) continue;
        if (scratch.width() < r.width() || scratch.height() < r.height() || scratch.format() != QImage::Format_RGB32)
            scratch = QImage(std::max(r.width(), scratch.width()), std::max(r.height(), scratch.height()),
                             QImage::Format_RGB32);
        const int last = r.width() - 1;
        for (int y = 0; y < r.height(); ++y) {
            const std::uint8_t* from = picture.Row(r.y() + y) + 3 * static_cast<std::size_t>(r.x());
            auto* to = reinterpret_cast<std::uint32_t*>(scratch.scanLine(y));
            // Blue, green, red and the next pixel's blue, read as one word,
            // are the 32-bit pixel once the top byte is set. The last pixel
            // of a row is read byte by byte: its word may end past the picture.
            int x = 0;
            if constexpr (std::endian::native == std::endian::little) {
                for (; x < last; ++x) {
                    std::uint32_t word;
                    std::memcpy(&word, from + 3 * x, 4);
                    to[x] = word | 0xFF000000u;
                }
            }
            for (; x <= last; ++x) {
                const std::uint8_t* p = from + 3 * x;
                to[x] = 0xFF000000u | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
            }
        }
        painter.drawImage(r.topLeft(), scratch, QRect(0, 0, r.width(), r.height()));
    }
}

}  // namespace fernweave
