#include "app/batch_jobs.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "app/command_line.h"
#include "app/extension.h"
#include "platform/path_text.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

std::string shown(const fs::path& path) {
    std::string text;
    if (!platform::path_to_narrow(path, text)) {
        text = "(name not representable)";
    }
    return text;
}

fs::path output_for(const fs::path& folder, const fs::path& name) {
    fs::path output = folder / name;
    output.replace_extension(".m4a");
    return output;
}

uint64_t size_of(const fs::path& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

// The input files below `folder`, as paths relative to it, in byte order.
std::vector<fs::path> files_below(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        std::error_code kind_error;
        if (walk->is_regular_file(kind_error) &&
            is_input_extension(lowercase_extension(walk->path()))) {
            found.push_back(walk->path().lexically_relative(folder));
        }
    }
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        return a.generic_u8string() < b.generic_u8string();
    });
    return found;
}

}  // namespace

bool collect_batch_jobs(const CliOptions& options, std::vector<BatchJob>& jobs,
                        BatchRefusal& refusal) {
    jobs.clear();
    for (size_t i = 0; i < options.inputs.size(); ++i) {
        const fs::path& input = options.inputs[i];
        std::error_code error;
        if (fs::is_directory(input, error)) {
            for (const fs::path& relative : files_below(input)) {
                const fs::path found = input / relative;
                jobs.push_back({found, shown(found), output_for(options.output_dir, relative),
                                size_of(found)});
            }
            continue;
        }
        if (!is_input_extension(lowercase_extension(input))) {
            refusal = {exit_usage, "unsupported input extension: " + options.input_texts[i]};
            return false;
        }
        jobs.push_back({input, options.input_texts[i],
                        output_for(options.output_dir, input.filename()), size_of(input)});
    }
    std::set<std::u8string> outputs;
    for (const BatchJob& job : jobs) {
        if (!outputs.insert(job.output.lexically_normal().generic_u8string()).second) {
            refusal = {exit_usage, "two inputs would write " + shown(job.output)};
            return false;
        }
    }
    if (jobs.empty()) {
        refusal = {exit_failure, "no WAV, RF64 or FLAC input found"};
        return false;
    }
    return true;
}

}  // namespace qv
