// ze710-host's commands for a CLAP plug-in (a .clap file), through the small
// CLAP host of tools/clap_host: info, and render with parameters set by id
// in plain units before activation. --load takes a VST 2 bank file (.fxb) of
// the same plug-in: its chunk is the plug-in's CLAP state (ZE710's state is
// the same bytes in every edition).
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/clap_host/clap_host.h"
#include "tools/host/commands.h"
#include "tools/host/presets.h"

namespace vsthost {

namespace {

std::unique_ptr<claphost::ClapPlugin> load_clap(const std::string& path, const Options& opt)
{
    std::string error;
    std::unique_ptr<claphost::ClapPlugin> plugin = claphost::ClapPlugin::load(path, &error);
    if (!plugin)
        throw HostError(error);
    if (opt.program >= 0)
        throw HostError("a CLAP plug-in has no programs to select; --load a bank file whose current program it is");
    if (!opt.load.empty()) {
        const PresetFile preset = decode_preset(read_preset_bytes(opt.load), opt.load);
        if (!preset.bank || !plugin->load(preset.chunk))
            throw HostError("the plug-in refused the " + std::string(preset.bank ? "bank" : "program file") + " in " +
                            opt.load + (preset.bank ? "" : " (a CLAP state is a whole bank)"));
    }
    std::vector<claphost::InEvent> values;
    for (const auto& p : opt.params) {
        if (std::isnan(plugin->value(static_cast<clap_id>(p.first))))
            throw HostError("the plug-in has no parameter with id " + std::to_string(p.first));
        values.push_back({0, static_cast<clap_id>(p.first), p.second});
    }
    plugin->flush(values);
    return plugin;
}

std::string settings_text(const claphost::ClapPlugin& plugin, const Options& opt)
{
    std::string s = opt.load;
    for (const auto& p : opt.params) {
        const clap_id id = static_cast<clap_id>(p.first);
        for (const clap_param_info_t& info : plugin.params())
            if (info.id == id)
                s += (s.empty() ? "" : ", ") + std::string(info.name) + " " + plugin.text(id, plugin.value(id));
    }
    return s.empty() ? "the plug-in's defaults" : s;
}

}  // namespace

int command_info_clap(const std::string& path, const Options& opt)
{
    std::unique_ptr<claphost::ClapPlugin> plugin = load_clap(path, opt);
    const clap_plugin_descriptor_t* d = plugin->descriptor();
    std::string features;
    for (const char* const* f = d->features; f && *f; ++f)
        features += std::string(features.empty() ? "" : ", ") + *f;
    std::printf("Plug-in     %s\n", path.c_str());
    std::printf("Id          %s\n", d->id);
    std::printf("Name        %s\n", d->name);
    std::printf("Vendor      %s\n", d->vendor);
    std::printf("Version     %s (CLAP %u.%u.%u)\n", d->version, d->clap_version.major, d->clap_version.minor,
                d->clap_version.revision);
    std::printf("Features    %s\n", features.c_str());
    const auto* ports = plugin->extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    for (bool input : {true, false}) {
        const uint32_t n = ports ? ports->count(plugin->plugin(), input) : 0;
        std::printf("%s  ", input ? "Inputs    " : "Outputs   ");
        for (uint32_t i = 0; i < n; ++i) {
            clap_audio_port_info_t info{};
            if (ports->get(plugin->plugin(), i, input, &info))
                std::printf("%s\"%s\" %u channels", i ? ", " : "", info.name, info.channel_count);
        }
        std::printf("%s\n", n ? "" : "none");
    }
    const auto* gui = plugin->extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    std::printf("Editor      %s\n",
                gui && gui->is_api_supported(plugin->plugin(), "x11", false) ? "X11, embedded" : "none");
    const std::vector<clap_param_info_t> params = plugin->params();
    std::printf("Parameters  %zu (id, name, range, default, value)\n", params.size());
    for (const clap_param_info_t& p : params)
        std::printf("  %3u  %-10s %9.2f to %-9.2f %9.2f  %s%s\n", p.id, p.name, p.min_value, p.max_value,
                    p.default_value, plugin->text(p.id, plugin->value(p.id)).c_str(),
                    p.flags & CLAP_PARAM_IS_BYPASS ? "  (the host's bypass)" : "");
    return 0;
}

int command_render_clap(const std::string& path, const std::string& in_path, const std::string& out_path,
                        const Options& opt)
{
    std::unique_ptr<claphost::ClapPlugin> plugin;
    return render_file(in_path, out_path, opt.block, [&](int rate) {
        plugin = load_clap(path, opt);
        if (!plugin->activate(rate, static_cast<uint32_t>(opt.block)))
            throw HostError("the plug-in does not run at " + std::to_string(rate) + " Hz");
        Renderer r;
        r.process = [&](const float* l, const float* rr, float* out_l, float* out_r, int n) {
            float* const in[2] = {const_cast<float*>(l), const_cast<float*>(rr)};
            float* const out[2] = {out_l, out_r};
            if (plugin->process(in, out, static_cast<uint32_t>(n)) == CLAP_PROCESS_ERROR)
                throw HostError("the plug-in failed to process");
        };
        r.settings = [&] { return settings_text(*plugin, opt); };
        return r;
    });
}

}  // namespace vsthost
