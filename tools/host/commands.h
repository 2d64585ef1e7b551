// The subcommands of ze710-host. Each throws HostError with a one-line
// message on any failure; main() prints it and exits non-zero.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vsthost {

struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string load;                               // .fxb/.fxp loaded before the settings
    int program = -1;                               // -1: leave the plug-in's own
    std::vector<std::pair<int, float>> params;      // index, normalised value (CLAP: id, plain value); in order
    int block = 512;                                // frames per processReplacing call
    double rate = 48000.0;                          // Hz (render: the file's own rate)
    std::string svg = "response.svg";               // response: plot file
    double seconds = 2.0;                           // bench: audio per run; signal: length
    int runs = 5;                                   // bench: timed runs
    double length = 1.0;                            // response: impulse response, seconds
    double editor_seconds = 0.0;                    // editor: close after this long (0: never)
    std::string screenshot;                         // editor: PNG of the window before closing
};

class VstPlugin;

// What a render needs of a plug-in, once the input file is known good:
// process(in_l, in_r, out_l, out_r, frames) for each block, and the settings
// for the report line.
struct Renderer {
    std::function<void(const float*, const float*, float*, float*, int)> process;
    std::function<std::string()> settings;
};
// Reads IN (any format libsndfile reads), calls prepare(rate) and renders
// IN through it into OUT in IN's format, in blocks of `block` frames.
int render_file(const std::string& in, const std::string& out, int block,
                const std::function<Renderer(int rate)>& prepare);
// The --load file, then --program, then each --param, in that order.
void apply_settings(VstPlugin& plugin, const Options& opt);

int command_info(const std::string& plugin, const Options& opt);
int command_render(const std::string& plugin, const std::string& in, const std::string& out,
                   const Options& opt);
int command_response(const std::string& plugin, const Options& opt);
int command_bench(const std::string& plugin, const Options& opt);
int command_signal(const std::string& out, const Options& opt);
int command_editor(const std::string& plugin, const Options& opt);
// The plug-in's state chunk as a preset file: FILE.fxb the bank, FILE.fxp
// the current program.
// The same commands for a CLAP plug-in (a .clap file): parameters by id in
// plain values; --load takes a .fxb bank of the same plug-in, whose chunk is
// its CLAP state (command_clap.cpp).
int command_info_clap(const std::string& plugin, const Options& opt);
int command_render_clap(const std::string& plugin, const std::string& in, const std::string& out,
                        const Options& opt);
int command_save(const std::string& plugin, const std::string& file, const Options& opt);

}  // namespace vsthost
