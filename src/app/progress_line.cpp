#include "app/progress_line.h"

#include <cstdio>

#include "platform/terminal.h"

namespace qv {
namespace {

// A few times a second: often enough to look alive, rarely enough to cost
// nothing beside the encoding.
constexpr auto redraw_interval = std::chrono::milliseconds(250);

std::string clock_text(double seconds) {
    const auto total = static_cast<unsigned long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", total / 60, total % 60);
    }
    return text;
}

}  // namespace

bool ConversionProgress::fraction(double& value) const {
    if (done.load()) {
        value = 1;
        return true;
    }
    const uint64_t total = total_frames.load();
    if (total == 0) {
        return false;
    }
    const uint64_t now = frames.load();
    value = now >= total ? 1.0 : static_cast<double>(now) / static_cast<double>(total);
    return true;
}

double ConversionProgress::audio_seconds() const {
    const uint32_t rate = sample_rate.load();
    return rate == 0 ? 0 : static_cast<double>(frames.load()) / rate;
}

std::string progress_text(const ProgressFigures& figures, double elapsed) {
    std::string text;
    char part[64];
    if (figures.fraction_known) {
        std::snprintf(part, sizeof part, "%3.0f%%  ", figures.fraction * 100);
        text += part;
    }
    if (elapsed > 0) {
        std::snprintf(part, sizeof part, "%.1fx real time", figures.audio_seconds / elapsed);
        text += part;
    }
    if (figures.fraction_known && figures.fraction > 0 && figures.fraction < 1) {
        text += "  " + clock_text(elapsed * (1 - figures.fraction) / figures.fraction) + " left";
    }
    if (figures.files_total != 0) {
        std::snprintf(part, sizeof part, "  files %u/%u", figures.files_done, figures.files_total);
        text += part;
    }
    return text;
}

ProgressLine::ProgressLine(bool wanted)
    : enabled_(wanted && platform::standard_error_is_terminal()),
      start_(Clock::now()),
      last_draw_(start_) {}

double ProgressLine::elapsed() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

bool ProgressLine::due() const { return enabled_ && Clock::now() - last_draw_ >= redraw_interval; }

void ProgressLine::draw(const std::string& text) {
    if (!enabled_) {
        return;
    }
    // Spaces cover what a longer earlier text left on the line.
    const std::size_t width = text.size() < shown_ ? shown_ : text.size();
    std::fprintf(stderr, "\r%-*s", static_cast<int>(width), text.c_str());
    std::fflush(stderr);
    shown_ = width;
    last_draw_ = Clock::now();
}

void ProgressLine::erase() {
    if (!enabled_ || shown_ == 0) {
        return;
    }
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
    std::fflush(stderr);
    shown_ = 0;
}

}  // namespace qv
