// The left-to-right option parser: the first matching rule decides what an
// argument is, and the first error ends the run.
#include "app/command_line.h"

#include <cstdio>

#include "app/extension.h"
#include "app/help_text.h"
#include "app/number_rules.h"
#include "platform/path_text.h"

namespace qv {

namespace {

constexpr int exit_ok = 0;
constexpr int exit_usage = 2;
constexpr const char* standard_input_name = "-";

struct TextOption {
    const char* name;
    std::string TagSet::*field;
    TagField given;
};

constexpr TextOption text_options[] = {
    {"--title", &TagSet::title, TagField::title},
    {"--artist", &TagSet::artist, TagField::artist},
    {"--album", &TagSet::album, TagField::album},
    {"--albumartist", &TagSet::album_artist, TagField::album_artist},
    {"--album-artist", &TagSet::album_artist, TagField::album_artist},
    {"--band", &TagSet::album_artist, TagField::album_artist},
    {"--genre", &TagSet::genre, TagField::genre},
    {"--date", &TagSet::date, TagField::date},
    {"--year", &TagSet::date, TagField::date},
    {"--comment", &TagSet::comment, TagField::comment},
    {"--composer", &TagSet::composer, TagField::composer},
    {"--lyrics", &TagSet::lyrics, TagField::lyrics},
    {"--copyright", &TagSet::copyright, TagField::copyright},
    {"--encoder", &TagSet::encoder, TagField::encoder},
};

// "n" names the number alone; "n/total" the total too.
void note_number_pair(const std::string& value, TagField number, TagField total, GivenTags& given) {
    given.set(number);
    if (value.find('/') != std::string::npos) {
        given.set(total);
    }
}

constexpr const char* other_value_options[] = {
    "-o",          "--output",  "--track", "--tracktotal", "--disc",    "--disk",
    "--disctotal", "--artwork", "-d",      "--output-dir", "--threads",
};

bool is_output_dir_option(const std::string& argument) {
    return argument == "-d" || argument == "--output-dir";
}

// Whether the command line names an output folder anywhere: it decides how
// every positional argument is read, so it is known before the parse.
bool names_output_dir(const std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (is_output_dir_option(arguments[i])) {
            return true;
        }
        if (option_takes_value(arguments[i])) {
            ++i;
        }
    }
    return false;
}

CommandLineOutcome stop(int exit_code) { return CommandLineOutcome{false, exit_code}; }

bool to_path(const std::string& argument, std::filesystem::path& path) {
    if (platform::argument_to_path(argument, path)) {
        return true;
    }
    std::fprintf(stderr, "Error: argument is not a valid file name: %s\n", argument.c_str());
    return false;
}

// Stores the value of one of the 22 value options. False after an error
// line has been printed.
bool store_value(const std::string& option, const std::string& value, CliOptions& options) {
    TagSet& tags = options.tags;
    GivenTags& given = options.given_tags;
    for (const TextOption& text : text_options) {
        if (option == text.name) {
            tags.*text.field = value;
            given.set(text.given);
            return true;
        }
    }
    if (option == "-o" || option == "--output") {
        return to_path(value, options.output_path);
    }
    if (option == "--artwork") {
        given.set(TagField::artwork);
        return to_path(value, tags.artwork_path);
    }
    if (is_output_dir_option(option)) {
        return to_path(value, options.output_dir);
    }
    if (option == "--threads") {
        if (parse_thread_count(value, options.threads)) {
            options.threads_given = true;
            return true;
        }
        std::fprintf(stderr, "Error: invalid --threads value %s\n", value.c_str());
        return false;
    }
    if (option == "--track") {
        if (parse_number_pair(value, tags.track_number, tags.track_total)) {
            note_number_pair(value, TagField::track_number, TagField::track_total, given);
            return true;
        }
        std::fprintf(stderr, "Error: invalid --track value %s\n", value.c_str());
        return false;
    }
    if (option == "--tracktotal") {
        if (parse_u16(value, tags.track_total)) {
            given.set(TagField::track_total);
            return true;
        }
        std::fprintf(stderr, "Error: invalid --tracktotal value %s\n", value.c_str());
        return false;
    }
    if (option == "--disc" || option == "--disk") {
        if (parse_number_pair(value, tags.disc_number, tags.disc_total)) {
            note_number_pair(value, TagField::disc_number, TagField::disc_total, given);
            return true;
        }
        std::fprintf(stderr, "Error: invalid --disc value %s\n", value.c_str());
        return false;
    }
    // --disctotal, the last of the value options.
    if (parse_u16(value, tags.disc_total)) {
        given.set(TagField::disc_total);
        return true;
    }
    std::fprintf(stderr, "Error: invalid --disctotal value %s\n", value.c_str());
    return false;
}

}  // namespace

bool is_input_extension(const std::string& extension) {
    return extension == ".wav" || extension == ".wave" || extension == ".rf64" ||
           extension == ".flac";
}

namespace {

// The rules an output-folder command line must meet before any conversion.
CommandLineOutcome check_batch(const FlacLibrary* library, const CliOptions& options) {
    const char* refusal = nullptr;
    if (!options.output_path.empty()) {
        refusal = "-o and -d cannot be used together";
    } else if (options.profile) {
        refusal = "--profile converts a single file";
    } else {
        for (const std::string& text : options.input_texts) {
            if (text == standard_input_name) {
                refusal = "standard input cannot be used with -d";
            }
        }
    }
    if (refusal != nullptr) {
        std::fprintf(stderr, "Error: %s\n", refusal);
        return stop(exit_usage);
    }
    if (options.inputs.empty() || options.output_dir.empty()) {
        print_usage(library);
        return stop(exit_usage);
    }
    return CommandLineOutcome{true, exit_ok};
}

}  // namespace

bool option_takes_value(const std::string& argument) {
    for (const TextOption& text : text_options) {
        if (argument == text.name) {
            return true;
        }
    }
    for (const char* name : other_value_options) {
        if (argument == name) {
            return true;
        }
    }
    return false;
}

CommandLineOutcome parse_command_line(const std::vector<std::string>& arguments,
                                      const FlacLibrary* library, CliOptions& options) {
    options = CliOptions{};
    const bool batch = names_output_dir(arguments);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--fast") {
            options.fast = true;
        } else if (argument == "-A") {
            // Passed by ripping front ends; it means nothing here.
        } else if (argument == "--overwrite") {
            options.overwrite = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--profile") {
            options.profile = true;
        } else if (argument == "--verify") {
            options.verify = true;
        } else if (argument == "--ignorelength") {
            options.ignore_length = true;
        } else if (argument == "--no-input-tags") {
            options.no_input_tags = true;
        } else if (argument == "--help" || argument == "-h") {
            print_usage(library);
            return stop(exit_ok);
        } else if (argument == "--version" || argument == "-V") {
            print_banner();
            return stop(exit_ok);
        } else if (option_takes_value(argument)) {
            if (i + 1 == arguments.size()) {
                std::fprintf(stderr, "Error: %s requires a value\n", argument.c_str());
                return stop(exit_usage);
            }
            ++i;
            if (!store_value(argument, arguments[i], options)) {
                return stop(exit_usage);
            }
        } else if (batch &&
                   (argument == standard_input_name || (!argument.empty() && argument[0] != '-'))) {
            // With an output folder every positional argument is an input.
            std::filesystem::path input;
            if (argument != standard_input_name && !to_path(argument, input)) {
                return stop(exit_usage);
            }
            options.inputs.push_back(input);
            options.input_texts.push_back(argument);
        } else if (argument == standard_input_name && options.input_path.empty()) {
            // Only in the input's place: M4A output needs a seekable file.
            options.standard_input = true;
            options.input_path = standard_input_name;
        } else if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "Error: unknown option %s\n", argument.c_str());
            return stop(exit_usage);
        } else if (options.input_path.empty()) {
            if (!to_path(argument, options.input_path)) {
                return stop(exit_usage);
            }
        } else if (options.output_path.empty()) {
            if (!to_path(argument, options.output_path)) {
                return stop(exit_usage);
            }
        } else {
            std::fprintf(stderr, "Error: unexpected argument %s\n", argument.c_str());
            return stop(exit_usage);
        }
    }

    if (batch) {
        return check_batch(library, options);
    }
    if (options.input_path.empty() || options.output_path.empty()) {
        print_usage(library);
        return stop(exit_usage);
    }
    if (!options.standard_input && !is_input_extension(lowercase_extension(options.input_path))) {
        std::fprintf(stderr, "Error: unsupported input extension.\n");
        return stop(exit_usage);
    }
    if (lowercase_extension(options.output_path) != ".m4a") {
        std::fprintf(stderr, "Error: output must use .m4a extension.\n");
        return stop(exit_usage);
    }
    return CommandLineOutcome{true, exit_ok};
}

}  // namespace qv
