#pragma once
// The progress of conversions, and the status line that shows it on a
// terminal: percentage done, speed as a multiple of real time, time left
// and, for many files, how many are done. On anything but a terminal (a
// front end's pipe) nothing of it appears.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace qv {

// How far one conversion has come: written by the thread that converts it,
// read by whoever draws the line.
struct ConversionProgress {
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> total_frames{0};  // 0 while unknown
    std::atomic<uint32_t> sample_rate{0};
    std::atomic<bool> done{false};  // finished, converted or not

    // Share of the conversion done, 0 to 1; false while it cannot be told.
    bool fraction(double& value) const;
    // Seconds of audio converted so far.
    double audio_seconds() const;
};

// The figures the line shows.
struct ProgressFigures {
    bool fraction_known = false;
    double fraction = 0;       // 0 to 1
    double audio_seconds = 0;  // converted so far
    unsigned files_done = 0;
    unsigned files_total = 0;  // 0 for a single file: no file count shown
};

// The text of the line for these figures after `elapsed` seconds.
std::string progress_text(const ProgressFigures& figures, double elapsed);

// One status line on standard error, rewritten in place.
class ProgressLine {
public:
    // Shown only when `wanted` and standard error is a terminal.
    explicit ProgressLine(bool wanted);
    bool enabled() const { return enabled_; }
    double elapsed() const;
    // True when the line was last drawn long enough ago to be drawn again.
    bool due() const;
    void draw(const std::string& text);
    // Takes the line off the screen before anything else is printed.
    void erase();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_ = false;
    Clock::time_point start_;
    Clock::time_point last_draw_;
    std::size_t shown_ = 0;  // characters on the screen now
};

}  // namespace qv
