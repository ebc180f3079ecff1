// Workers take the next job from a shared counter; each conversion runs on
// its worker's thread from reader to finished file, exactly as a single-file
// run would. Only the main thread prints: it takes the workers' results in
// the order they finish and redraws the progress line in between.
#include "app/batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/batch_jobs.h"
#include "app/conversion.h"
#include "app/help_text.h"
#include "app/progress_line.h"
#include "platform/interrupt.h"
#include "platform/path_text.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

struct Finished {
    size_t job = 0;
    bool ok = false;
    std::string error;
};

// What the workers hand to the main thread.
class Results {
public:
    void add(Finished finished) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(finished));
        }
        ready_.notify_one();
    }
    void worker_done() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++workers_done_;
        }
        ready_.notify_one();
    }
    // Waits up to `timeout` for results; false once every worker is done
    // and every result was taken.
    template <typename Duration>
    bool take(std::deque<Finished>& out, unsigned workers, Duration timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, timeout, [&] { return !queue_.empty() || workers_done_ == workers; });
        out.swap(queue_);
        queue_.clear();
        return !(out.empty() && workers_done_ == workers);
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Finished> queue_;
    unsigned workers_done_ = 0;
};

unsigned worker_count(unsigned requested, size_t jobs) {
    unsigned count = requested;
    if (count == 0) {
        count = std::max(1u, std::thread::hardware_concurrency());
    }
    return static_cast<unsigned>(std::min<size_t>(count, jobs));
}

std::string shown(const fs::path& path) {
    std::string text;
    if (!platform::path_to_narrow(path, text)) {
        text = "(name not representable)";
    }
    return text;
}

Finished convert_job(const CliOptions& options, const FlacLibrary* library, const BatchJob& job,
                     ConversionProgress& progress, size_t index) {
    Finished finished{index, false, {}};
    std::error_code error;
    const fs::path folder = job.output.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, error);
    }
    if (error) {
        finished.error = "could not create the output folder " + shown(folder);
    } else {
        CliOptions one = options;
        one.input_path = job.input;
        one.output_path = job.output;
        one.quiet = true;
        finished.ok = convert_file(one, library, progress, finished.error);
    }
    progress.done.store(true);
    return finished;
}

ProgressFigures overall(const std::vector<BatchJob>& jobs,
                        const std::vector<std::unique_ptr<ConversionProgress>>& progress,
                        unsigned files_done) {
    ProgressFigures figures;
    figures.files_done = files_done;
    figures.files_total = static_cast<unsigned>(jobs.size());
    // Each file weighs as much as its input's size: a long file is a larger
    // share of the work than a short one.
    double weight_total = 0, weight_done = 0;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const double weight = static_cast<double>(std::max<uint64_t>(jobs[i].input_bytes, 1));
        double fraction = 0;
        progress[i]->fraction(fraction);
        weight_total += weight;
        weight_done += weight * fraction;
        figures.audio_seconds += progress[i]->audio_seconds();
    }
    figures.fraction_known = true;
    figures.fraction = weight_total > 0 ? weight_done / weight_total : 0;
    return figures;
}

}  // namespace

int run_batch(const CliOptions& options, const FlacLibrary* library) {
    std::vector<BatchJob> jobs;
    BatchRefusal refusal;
    if (!collect_batch_jobs(options, jobs, refusal)) {
        std::fprintf(stderr, "Error: %s\n", refusal.message.c_str());
        return refusal.exit_code;
    }
    if (!options.quiet) {
        print_banner();
        std::fflush(stdout);
    }
    std::vector<std::unique_ptr<ConversionProgress>> progress;
    for (size_t i = 0; i < jobs.size(); ++i) {
        progress.push_back(std::make_unique<ConversionProgress>());
    }

    const unsigned workers = worker_count(options.threads_given ? options.threads : 0, jobs.size());
    std::atomic<size_t> next{0};
    Results results;
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            const platform::InterruptibleThread interruptible;
            // An interruption lets the files in progress end (each fails and
            // cleans up on its own) and starts no other.
            while (!platform::interrupt_requested()) {
                const size_t index = next.fetch_add(1);
                if (index >= jobs.size()) {
                    break;
                }
                results.add(convert_job(options, library, jobs[index], *progress[index], index));
            }
            results.worker_done();
        });
    }

    ProgressLine line(!options.quiet);
    unsigned converted = 0, failed = 0;
    std::deque<Finished> finished;
    while (results.take(finished, workers, std::chrono::milliseconds(250))) {
        if (platform::interrupt_requested()) {
            platform::wake_waiting_threads();
        }
        for (const Finished& result : finished) {
            line.erase();
            const BatchJob& job = jobs[result.job];
            if (result.ok) {
                ++converted;
                if (!options.quiet) {
                    std::printf("Converted %s -> %s\n", job.input_text.c_str(),
                                shown(job.output).c_str());
                    std::fflush(stdout);
                }
            } else {
                ++failed;
                std::fprintf(stderr, "Error: %s: %s\n", job.input_text.c_str(),
                             result.error.c_str());
            }
        }
        if (line.due()) {
            line.draw(progress_text(overall(jobs, progress, converted + failed), line.elapsed()));
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    line.erase();
    const bool interrupted = platform::interrupt_requested();
    if (interrupted && converted + failed < jobs.size()) {
        std::fprintf(stderr, "Error: interrupted\n");
    }
    if (!options.quiet) {
        std::printf("%u files converted, %u failed\n", converted, failed);
    }
    return failed == 0 && !interrupted ? 0 : 1;
}

}  // namespace qv
