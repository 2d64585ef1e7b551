// The subcommands of ze710-host. Each throws HostError with a one-line
// message on any failure; main() prints it and exits non-zero.
#pragma once

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
    std::vector<std::pair<int, float>> params;      // index, normalised value; in order
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
int command_save(const std::string& plugin, const std::string& file, const Options& opt);

}  // namespace vsthost
