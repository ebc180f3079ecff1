// Banner, help text and feature list, written to standard output.
#include "app/help_text.h"

#include <cstdio>
#include <string>

#include "platform/path_text.h"

namespace qv {

void print_banner() {
    std::printf("RO-ZOZA %s - Orvale ALAC Encoder\n", program_version);
    std::printf("Copyright (C) 2026 The ro-zoza developers\n");
}

void print_usage(const FlacLibrary* library) {
    print_banner();
    std::printf("Lossless WAV/RF64/FLAC to ALAC/M4A encoder.\n\n");
    std::printf("Usage:\n  ro-zoza.exe [options] <input.wav|input.flac> -o <output.m4a>\n");
    std::printf("  ro-zoza.exe <input.wav|input.flac> <output.m4a> [options]\n");
    std::printf("  ro-zoza.exe [options] -d <folder> <input|folder>...\n");
    std::printf("  Input \"-\" reads WAV/RF64 from standard input.\n\n");
    std::printf(
        "Encoding:\n  --fast                 Use the fast ALAC path\n"
        "  --verify               Decode every packet and compare it with the input\n"
        "  --threads <n>          Encoding threads (0: one per processor)\n\n");
    std::printf(
        "Input:\n  --ignorelength         Read WAV audio to the end, ignoring its data size\n"
        "  --no-input-tags        Do not copy tags and cover art from the input\n\n");
    std::printf("Metadata (M4A):\n");
    std::printf("  --title <text>\n  --artist <text>\n  --album <text>\n");
    std::printf(
        "  --albumartist <text>   Album artist\n"
        "  --album-artist <text>  Alias for --albumartist\n"
        "  --band <text>          Alias for --albumartist\n");
    std::printf(
        "  --genre <text>\n"
        "  --date <text>          Date/year\n"
        "  --year <text>          Alias for --date\n");
    std::printf(
        "  --track <n[/total]>    Track number, optionally total\n"
        "  --tracktotal <n>       Total tracks\n");
    std::printf(
        "  --disc <n[/total]>     Disc number, optionally total\n"
        "  --disk <n[/total]>     Alias for --disc\n"
        "  --disctotal <n>        Total discs\n");
    std::printf(
        "  --comment <text>\n  --composer <text>\n"
        "  --lyrics <text>        Lyrics\n  --copyright <text>\n");
    std::printf(
        "  --encoder <text>       Override encoder metadata\n"
        "  --artwork <jpg|png>    Embed cover artwork (JPEG or PNG file)\n\n");
    std::printf(
        "Other:\n"
        "  -A                     Accepted for compatibility; no effect\n"
        "  -o, --output <file>    Output M4A file\n"
        "  -d, --output-dir <dir> Write one M4A per input into this folder\n"
        "  --overwrite            Replace an existing output file\n"
        "  --quiet                Suppress progress/status output\n"
        "  --profile              Print internal encoder stage profile\n"
        "  --features             Show runtime features\n"
        "  -V, --version          Display version\n"
        "  -h, --help             Display help\n\n");
    std::printf("FLAC input: %s\n", library != nullptr && library->available
                                        ? "enabled (libFLAC.dll)"
                                        : "disabled (libFLAC.dll not found)");
}

bool print_features(const FlacLibrary* library) {
    const bool enabled = flac_library_available(library);
    std::string library_path;
    if (enabled && !platform::path_to_narrow(library->dll_path, library_path)) {
        std::fprintf(stderr,
                     "Error: the path of the loaded FLAC library cannot be shown as text\n");
        return false;
    }
    print_banner();
    std::printf("\nFLAC input: %s\n", enabled ? "enabled" : "disabled");
    if (enabled) {
        std::printf("libFLAC:    %s\n", library_path.c_str());
    }
    std::printf(
        "ALAC encoder core: enabled\nM4A output: enabled\nM4A tags/artwork: enabled\n"
        "WAV/RF64 input: enabled\n");
    return true;
}

}  // namespace qv
