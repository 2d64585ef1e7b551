// ze710-host: a command-line VST 2 host. Loads a plug-in module through its
// entry point as a DAW does and reports on it, renders audio files through
// it, measures its magnitude response and its throughput.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/host/commands.h"

namespace {

const char* const kUsage =
    "usage: ze710-host COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  info PLUGIN                 identity, flags, I/O, parameters and programs\n"
    "  render PLUGIN IN OUT        an audio file through the plug-in (any format\n"
    "                              libsndfile reads; OUT keeps IN's format and rate)\n"
    "  response PLUGIN             magnitude response from an impulse: a table at\n"
    "                              standard frequencies and an SVG plot\n"
    "  bench PLUGIN                throughput in ns per frame and times real time\n"
    "  signal OUT                  write the demo signal (stereo 24-bit WAV)\n"
    "  editor PLUGIN               open the plug-in's editor in a window of its own,\n"
    "                              print its automation, begin-edit and end-edit calls;\n"
    "                              ends when the window is closed (needs an X display)\n"
    "  save PLUGIN FILE            write the plug-in's state as a VST 2 preset file:\n"
    "                              FILE.fxb the bank, FILE.fxp the current program\n"
    "\n"
    "info and render also take a CLAP plug-in (PLUGIN.clap); its --load FILE is\n"
    "a .fxb bank of the same plug-in, whose chunk is its CLAP state.\n"
    "\n"
    "options:\n"
    "  --load FILE                 load a .fxb bank or .fxp program file first\n"
    "  --program N                 select program N first\n"
    "  --param INDEX=VALUE         set a parameter (normalised 0..1); repeatable;\n"
    "                              for a .clap: ID=VALUE in the parameter's unit\n"
    "  --block N                   frames per processing call (default 512)\n"
    "  --rate HZ                   sample rate for response, bench, signal (default 48000)\n"
    "  --svg FILE                  response plot file (default response.svg)\n"
    "  --length SECONDS            response: impulse response length (default 1)\n"
    "  --seconds S                 bench: audio per timed run (default 2); signal: length\n"
    "  --runs N                    bench: timed runs (default 5)\n"
    "  --close-after S             editor: close the editor after S seconds\n"
    "  --screenshot FILE           editor: save the window as PNG before closing\n";

using vsthost::HostError;

long parse_long(const std::string& what, const std::string& text, long lo, long hi)
{
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0 || v < lo || v > hi)
        throw HostError("bad " + what + " '" + text + "' (expected an integer from " +
                        std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return v;
}

double parse_double(const std::string& what, const std::string& text, double lo, double hi)
{
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || errno != 0 || !std::isfinite(v) || v < lo || v > hi) {
        char range[96];
        std::snprintf(range, sizeof range, " (expected a number from %g to %g)", lo, hi);
        throw HostError("bad " + what + " '" + text + "'" + range);
    }
    return v;
}

struct Parsed {
    std::string command;
    std::vector<std::string> param_texts;  // as given, for the message about a bad one
    std::vector<std::string> positional;
    vsthost::Options options;
};

Parsed parse(int argc, char** argv)
{
    Parsed p;
    if (argc < 2)
        throw HostError("no command given (try 'ze710-host --help')");
    p.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const std::string& name) -> std::string {
            if (i + 1 >= argc)
                throw HostError("option " + name + " needs a value");
            return argv[++i];
        };
        if (arg == "--load") {
            p.options.load = value(arg);
            if (p.options.load.empty())
                throw HostError("option --load needs a file name");
        } else if (arg == "--program") {
            p.options.program = static_cast<int>(parse_long("program", value(arg), 0, 1 << 20));
        } else if (arg == "--param") {
            const std::string v = value(arg);
            const size_t eq = v.find('=');
            if (eq == std::string::npos)
                throw HostError("bad parameter setting '" + v + "' (expected INDEX=VALUE)");
            const int index = static_cast<int>(parse_long("parameter index", v.substr(0, eq), 0, 1 << 20));
            // Plain values for a CLAP plug-in: checked once the plug-in is known.
            p.param_texts.push_back(v.substr(eq + 1));
            p.options.params.emplace_back(index, static_cast<float>(parse_double("parameter value", v.substr(eq + 1), -1e30, 1e30)));
        } else if (arg == "--block") {
            p.options.block = static_cast<int>(parse_long("block size", value(arg), 1, 65536));
        } else if (arg == "--rate") {
            p.options.rate = parse_double("sample rate", value(arg), 8000.0, 768000.0);
        } else if (arg == "--svg") {
            p.options.svg = value(arg);
            if (p.options.svg.empty())
                throw HostError("option --svg needs a file name");
        } else if (arg == "--length") {
            p.options.length = parse_double("length", value(arg), 0.01, 60.0);
        } else if (arg == "--seconds") {
            p.options.seconds = parse_double("seconds", value(arg), 0.01, 3600.0);
        } else if (arg == "--runs") {
            p.options.runs = static_cast<int>(parse_long("runs", value(arg), 1, 1000));
        } else if (arg == "--close-after") {
            p.options.editor_seconds = parse_double("time limit", value(arg), 0.01, 86400.0);
        } else if (arg == "--screenshot") {
            p.options.screenshot = value(arg);
            if (p.options.screenshot.empty())
                throw HostError("option --screenshot needs a file name");
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw HostError("unknown option '" + arg + "'");
        } else {
            p.positional.push_back(arg);
        }
    }
    return p;
}

void expect_args(const Parsed& p, size_t n, const char* shape)
{
    if (p.positional.size() != n)
        throw HostError(std::string("usage: ze710-host ") + shape);
}

int run(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "help") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const Parsed p = parse(argc, argv);
    const std::string& plugin = p.positional.empty() ? p.command : p.positional[0];
    const bool clap = plugin.size() > 5 && plugin.compare(plugin.size() - 5, 5, ".clap") == 0;
    for (size_t i = 0; !clap && i < p.options.params.size(); ++i)
        parse_double("parameter value", p.param_texts[i], 0.0, 1.0);  // normalised for VST 2
    if (clap && p.command == "info") {
        expect_args(p, 1, "info PLUGIN.clap [options]");
        return vsthost::command_info_clap(p.positional[0], p.options);
    }
    if (clap && p.command == "render") {
        expect_args(p, 3, "render PLUGIN.clap IN OUT [options]");
        return vsthost::command_render_clap(p.positional[0], p.positional[1], p.positional[2], p.options);
    }
    if (clap)
        throw HostError("'" + p.command + "' takes a VST 2 plug-in; a .clap file takes info and render");
    if (p.command == "info") {
        expect_args(p, 1, "info PLUGIN [options]");
        return vsthost::command_info(p.positional[0], p.options);
    }
    if (p.command == "render") {
        expect_args(p, 3, "render PLUGIN IN OUT [options]");
        return vsthost::command_render(p.positional[0], p.positional[1], p.positional[2], p.options);
    }
    if (p.command == "response") {
        expect_args(p, 1, "response PLUGIN [options]");
        return vsthost::command_response(p.positional[0], p.options);
    }
    if (p.command == "bench") {
        expect_args(p, 1, "bench PLUGIN [options]");
        return vsthost::command_bench(p.positional[0], p.options);
    }
    if (p.command == "signal") {
        expect_args(p, 1, "signal OUT [options]");
        return vsthost::command_signal(p.positional[0], p.options);
    }
    if (p.command == "editor") {
        expect_args(p, 1, "editor PLUGIN [options]");
        return vsthost::command_editor(p.positional[0], p.options);
    }
    if (p.command == "save") {
        expect_args(p, 2, "save PLUGIN FILE.fxb|FILE.fxp [options]");
        return vsthost::command_save(p.positional[0], p.positional[1], p.options);
    }
    throw HostError("unknown command '" + p.command + "' (try 'ze710-host --help')");
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const HostError& e) {
        std::fprintf(stderr, "ze710-host: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ze710-host: internal error: %s\n", e.what());
    }
    return 1;
}
