#include "tools/host/commands.h"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <ctime>
#include <functional>
#include <memory>

#include "tools/host/files.h"
#include "tools/host/presets.h"
#include "tools/host/response.h"
#include "tools/host/vst_host.h"

namespace vsthost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSettleSeconds = 0.5;   // silence before a measurement: glides finish
constexpr double kProgressAfterSeconds = 30.0;  // render reports progress beyond this
constexpr int kPlotPoints = 480;

// ---- plug-in set-up -----------------------------------------------------------

std::unique_ptr<VstPlugin> load_plugin(const std::string& path)
{
    std::string error;
    std::unique_ptr<VstPlugin> plugin = VstPlugin::load(path, &error);
    if (!plugin)
        throw HostError(error);
    return plugin;
}

std::string fourcc_text(VstInt32 id)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xff);
        s += (c >= 0x20 && c < 0x7f) ? c : '.';
    }
    return s;
}

// A .fxb or .fxp file into the plug-in, told apart by its header.
void load_preset_file(VstPlugin& plugin, const std::string& path)
{
    const PresetFile preset = decode_preset(read_preset_bytes(path), path);
    AEffect* e = plugin.effect();
    if (!(e->flags & effFlagsProgramChunks))
        throw HostError("the plug-in does not keep its programs as chunks; " + path + " cannot be loaded");
    if (preset.fx_id != e->uniqueID)
        throw HostError(path + " is for the plug-in '" + fourcc_text(preset.fx_id) + "', not '" +
                        fourcc_text(e->uniqueID) + "'");
    const int expected = preset.bank ? plugin.num_programs() : plugin.num_params();
    if (preset.count != expected)
        throw HostError(path + " is for " + std::to_string(preset.count) + (preset.bank ? " programs" : " parameters") +
                        ", the plug-in has " + std::to_string(expected));
    std::vector<uint8_t> chunk = preset.chunk;
    if (chunk.empty() ||
        plugin.dispatch(effSetChunk, preset.bank ? 0 : 1, static_cast<VstIntPtr>(chunk.size()), chunk.data()) != 1)
        throw HostError("the plug-in refused the " + std::string(preset.bank ? "bank" : "program") + " in " + path);
}

}  // namespace

// Applied before the sample rate is set: like a host restoring a session, so
// that the plug-in can start on these settings instead of gliding to them.
void apply_settings(VstPlugin& plugin, const Options& opt)
{
    if (!opt.load.empty())
        load_preset_file(plugin, opt.load);
    if (opt.program >= 0) {
        if (opt.program >= plugin.num_programs())
            throw HostError("program " + std::to_string(opt.program) + " out of range (the plug-in has " +
                            std::to_string(plugin.num_programs()) + ")");
        plugin.dispatch(effSetProgram, 0, opt.program);
    }
    for (const auto& p : opt.params) {
        if (p.first >= plugin.num_params())
            throw HostError("parameter " + std::to_string(p.first) + " out of range (the plug-in has " +
                            std::to_string(plugin.num_params()) + ")");
        plugin.set_parameter(p.first, p.second);
    }
}

namespace {

// Like most hosts, run the plug-in with denormals flushed to zero.
void set_audio_thread_fp_mode()
{
    _mm_setcsr(_mm_getcsr() | 0x8040);  // FTZ | DAZ
}

// Channel buffers for one plug-in: at least two inputs and outputs, more when
// the plug-in asks for more (extra inputs stay silent).
struct Buffers {
    Buffers(int inputs, int outputs, int frames)
        : n_in(std::max(inputs, 2)), n_out(std::max(outputs, 2)), frames(frames),
          in(static_cast<size_t>(n_in) * frames, 0.0f), out(static_cast<size_t>(n_out) * frames, 0.0f)
    {
        for (int c = 0; c < n_in; ++c)
            in_ptr.push_back(&in[static_cast<size_t>(c) * frames]);
        for (int c = 0; c < n_out; ++c)
            out_ptr.push_back(&out[static_cast<size_t>(c) * frames]);
    }
    int n_in, n_out, frames;
    std::vector<float> in, out;
    std::vector<float*> in_ptr, out_ptr;
};

// CPU time of the calling thread: what the plug-in costs the audio thread,
// undisturbed by other processes taking turns on the same cores.
double thread_cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

std::string settings_text(VstPlugin& plugin, const Options& opt)
{
    std::string s;
    if (!opt.load.empty())
        s += opt.load;
    if (opt.program >= 0)
        s += (s.empty() ? "" : ", ") + std::string("program ") + std::to_string(opt.program) + " \"" +
             plugin.current_program_name() + "\"";
    for (const auto& p : opt.params) {
        if (!s.empty())
            s += ", ";
        const std::string label = plugin.parameter_label(p.first);
        s += plugin.parameter_name(p.first) + " " + plugin.parameter_display(p.first) +
             (label.empty() ? "" : " " + label);
    }
    return s.empty() ? "the plug-in's defaults" : s;
}

// Deterministic white noise in [-amp, amp).
struct Noise {
    uint32_t state = 0x2545F491u;
    float next(float amp)
    {
        state = state * 1664525u + 1013904223u;
        return amp * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
};

// A file whose header announces more audio than the file holds has been cut
// short (an interrupted copy or download). libsndfile quietly reads what is
// there; rendering it would produce an output that looks complete but is not.
// The header's figure is in libsndfile's log ("data : 144000 (should be
// 71978)"); 0 and 0xFFFFFFFF are the placeholders of files written to a pipe,
// whose length is unknown rather than wrong.
void check_complete(SNDFILE* file, const std::string& path)
{
    char log[8192];
    log[0] = 0;
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    log[sizeof log - 1] = 0;
    for (const char* line = log; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end ? static_cast<size_t>(end - line) : std::strlen(line));
        unsigned long long announced = 0, present = 0;
        char chunk[8] = {};
        if (std::sscanf(text.c_str(), "%7s : %llu (should be %llu)", chunk, &announced, &present) == 3 &&
            (std::strcmp(chunk, "data") == 0 || std::strcmp(chunk, "SSND") == 0) && announced > present &&
            announced != 0xFFFFFFFFull && announced != 0xFFFFFFFFFFFFFFFFull)
            throw HostError(path + " is truncated: its header announces " + std::to_string(announced) +
                            " bytes of audio, the file holds " + std::to_string(present));
        if (!end)
            break;
        line = end + 1;
    }
}

}  // namespace

// ---- info -------------------------------------------------------------------------

int command_info(const std::string& path, const Options& opt)
{
    std::unique_ptr<VstPlugin> plugin = load_plugin(path);
    apply_settings(*plugin, opt);
    AEffect* e = plugin->effect();

    std::printf("Plug-in     %s\n", path.c_str());
    std::printf("Effect      %s\n", plugin->effect_name().c_str());
    std::printf("Vendor      %s\n", plugin->vendor_string().c_str());
    std::printf("Product     %s\n", plugin->product_string().c_str());
    std::printf("Unique ID   '%s' (0x%08X)\n", fourcc_text(e->uniqueID).c_str(),
                static_cast<unsigned>(e->uniqueID));
    std::printf("Versions    plug-in %d, vendor %ld, VST %ld\n", e->version,
                static_cast<long>(plugin->dispatch(effGetVendorVersion)),
                static_cast<long>(plugin->dispatch(effGetVstVersion)));
    std::string flags;
    if (e->flags & effFlagsHasEditor) flags += " editor";
    if (e->flags & effFlagsCanReplacing) flags += " replacing";
    if (e->flags & effFlagsProgramChunks) flags += " chunks";
    if (e->flags & effFlagsIsSynth) flags += " synth";
    if (e->flags & effFlagsCanDoubleReplacing) flags += " double";
    std::printf("Flags       0x%X:%s\n", static_cast<unsigned>(e->flags),
                flags.empty() ? " none" : flags.c_str());
    std::printf("I/O         %d inputs, %d outputs, initial delay %d\n", e->numInputs,
                e->numOutputs, e->initialDelay);
    char bypass[] = "bypass";
    std::printf("Can do      bypass: %s\n",
                plugin->dispatch(effCanDo, 0, 0, bypass) == 1 ? "yes" : "no");

    std::printf("Parameters  %d\n", plugin->num_params());
    for (int i = 0; i < plugin->num_params(); ++i) {
        std::string label = plugin->parameter_label(i);
        std::printf("  %3d  %-10s %9.6f  %s%s%s\n", i, plugin->parameter_name(i).c_str(),
                    static_cast<double>(plugin->get_parameter(i)),
                    plugin->parameter_display(i).c_str(), label.empty() ? "" : " ",
                    label.c_str());
    }
    std::printf("Programs    %d, current %ld\n", plugin->num_programs(),
                static_cast<long>(plugin->dispatch(effGetProgram)));
    for (int i = 0; i < plugin->num_programs(); ++i)
        std::printf("  %3d  %s\n", i, plugin->program_name(i).c_str());

    const HostRecorder& rec = plugin->recorder();
    std::printf("Host saw    %zu automation, %zu begin-edit, %zu end-edit, %zu display-update calls\n",
                rec.count_of(audioMasterAutomate), rec.count_of(audioMasterBeginEdit),
                rec.count_of(audioMasterEndEdit), rec.count_of(audioMasterUpdateDisplay));
    return 0;
}

// ---- render -----------------------------------------------------------------------

int render_file(const std::string& in_path, const std::string& out_path, int block,
                const std::function<Renderer(int rate)>& prepare)
{
    SF_INFO in_info;
    std::memset(&in_info, 0, sizeof in_info);
    struct SndCloser {
        void operator()(SNDFILE* f) const { sf_close(f); }
    };
    InputFile in_file(in_path);
    std::unique_ptr<SNDFILE, SndCloser> in(sf_open_fd(in_file.fd(), SFM_READ, &in_info, SF_FALSE));
    if (!in)
        throw HostError("cannot read " + in_path + ": " + sf_strerror(nullptr));
    if (in_info.channels < 1 || in_info.channels > 2)
        throw HostError(in_path + ": " + std::to_string(in_info.channels) +
                        " channels; only mono and stereo files can be rendered");
    if (in_info.samplerate <= 0)
        throw HostError(in_path + ": no valid sample rate");
    check_complete(in.get(), in_path);
    if (in_info.frames <= 0)
        throw HostError(in_path + ": the file holds no audio");

    set_audio_thread_fp_mode();
    const Renderer renderer = prepare(in_info.samplerate);

    // The output keeps the input's format, rate and channel count; a mono
    // file is fed to both inputs and written from the first output.
    SF_INFO out_info;
    std::memset(&out_info, 0, sizeof out_info);
    out_info.samplerate = in_info.samplerate;
    out_info.channels = in_info.channels;
    out_info.format = in_info.format;
    if (!sf_format_check(&out_info))
        throw HostError("cannot write " + out_path + ": libsndfile cannot write this file's format");
    OutputFile out_file(out_path);
    std::unique_ptr<SNDFILE, SndCloser> out(sf_open_fd(out_file.fd(), SFM_WRITE, &out_info, SF_FALSE));
    if (!out)
        throw HostError("cannot write " + out_path + ": " + sf_strerror(nullptr));
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);  // no wrap-around in integer formats

    const int channels = in_info.channels;
    const size_t frames = static_cast<size_t>(block);
    std::vector<float> interleaved(frames * channels), in_l(frames), in_r(frames), out_l(frames), out_r(frames);
    const sf_count_t total = in_info.frames;
    const bool progress = total > static_cast<sf_count_t>(kProgressAfterSeconds * in_info.samplerate);
    int last_tenth = 0;
    sf_count_t done = 0;

    for (;;) {
        const sf_count_t got = sf_readf_float(in.get(), interleaved.data(), block);
        if (got < 0 || sf_error(in.get()) != SF_ERR_NO_ERROR)
            throw HostError("cannot read " + in_path + ": " + sf_strerror(in.get()));
        if (got == 0)
            break;
        const int n = static_cast<int>(got);
        for (int i = 0; i < n; ++i) {
            in_l[i] = interleaved[static_cast<size_t>(i) * channels];
            in_r[i] = channels > 1 ? interleaved[static_cast<size_t>(i) * channels + 1] : in_l[i];
        }
        renderer.process(in_l.data(), in_r.data(), out_l.data(), out_r.data(), n);
        for (int i = 0; i < n; ++i) {
            interleaved[static_cast<size_t>(i) * channels] = out_l[i];
            if (channels > 1)
                interleaved[static_cast<size_t>(i) * channels + 1] = out_r[i];
        }
        if (sf_writef_float(out.get(), interleaved.data(), got) != got)
            throw HostError("cannot write " + out_path + ": " + sf_strerror(out.get()));
        done += got;
        if (progress && total > 0) {
            const int tenth = static_cast<int>(10 * done / total);
            if (tenth > last_tenth) {
                std::fprintf(stderr, "render: %d%%\n", 10 * tenth);
                last_tenth = tenth;
            }
        }
    }
    sf_write_sync(out.get());
    if (sf_close(out.release()) != 0)
        throw HostError("cannot write " + out_path);
    out_file.commit();

    std::printf("render: %s -> %s, %lld frames at %d Hz, %d channel%s, %s\n", in_path.c_str(),
                out_path.c_str(), static_cast<long long>(done), in_info.samplerate, channels,
                channels > 1 ? "s" : "", renderer.settings().c_str());
    return 0;
}

int command_render(const std::string& path, const std::string& in_path, const std::string& out_path,
                   const Options& opt)
{
    std::unique_ptr<VstPlugin> plugin;
    std::unique_ptr<Buffers> buf;
    return render_file(in_path, out_path, opt.block, [&](int rate) {
        plugin = load_plugin(path);
        apply_settings(*plugin, opt);
        plugin->start(static_cast<float>(rate), opt.block);
        buf = std::make_unique<Buffers>(plugin->num_inputs(), plugin->num_outputs(), opt.block);
        Renderer r;
        r.process = [&](const float* l, const float* rr, float* out_l, float* out_r, int n) {
            std::copy(l, l + n, buf->in_ptr[0]);
            std::copy(rr, rr + n, buf->in_ptr[1]);
            plugin->process(buf->in_ptr.data(), buf->out_ptr.data(), n);
            // A mono plug-in output feeds both channels.
            const float* right = plugin->num_outputs() > 1 ? buf->out_ptr[1] : buf->out_ptr[0];
            std::copy(buf->out_ptr[0], buf->out_ptr[0] + n, out_l);
            std::copy(right, right + n, out_r);
        };
        r.settings = [&] { return settings_text(*plugin, opt); };
        return r;
    });
}

// ---- response ---------------------------------------------------------------------

int command_response(const std::string& path, const Options& opt)
{
    std::unique_ptr<VstPlugin> plugin = load_plugin(path);
    set_audio_thread_fp_mode();
    apply_settings(*plugin, opt);
    plugin->start(static_cast<float>(opt.rate), opt.block);

    // Let parameter glides finish on silence, then send one unit impulse into
    // both inputs and keep what comes out.
    Buffers buf(plugin->num_inputs(), plugin->num_outputs(), opt.block);
    long settle = static_cast<long>(kSettleSeconds * opt.rate);
    while (settle > 0) {
        const int n = static_cast<int>(std::min<long>(settle, opt.block));
        plugin->process(buf.in_ptr.data(), buf.out_ptr.data(), n);
        settle -= n;
    }
    const size_t length = static_cast<size_t>(std::max(1.0, opt.length * opt.rate));
    std::vector<float> h_l, h_r;
    h_l.reserve(length);
    h_r.reserve(length);
    bool first = true;
    while (h_l.size() < length) {
        const int n = static_cast<int>(std::min<size_t>(length - h_l.size(), opt.block));
        std::fill(buf.in.begin(), buf.in.end(), 0.0f);
        if (first) {
            buf.in_ptr[0][0] = 1.0f;
            buf.in_ptr[1][0] = 1.0f;
            first = false;
        }
        plugin->process(buf.in_ptr.data(), buf.out_ptr.data(), n);
        const float* right = plugin->num_outputs() > 1 ? buf.out_ptr[1] : buf.out_ptr[0];
        h_l.insert(h_l.end(), buf.out_ptr[0], buf.out_ptr[0] + n);
        h_r.insert(h_r.end(), right, right + n);
    }

    const std::string name = plugin->effect_name().empty() ? path : plugin->effect_name();
    const std::string settings = settings_text(*plugin, opt);
    std::printf("Magnitude response of %s at %.0f Hz, %s\n", name.c_str(), opt.rate, settings.c_str());
    std::printf("%10s %10s %10s\n", "Hz", "left dB", "right dB");
    for (double f : standard_frequencies(opt.rate))
        std::printf("%10.1f %10.2f %10.2f\n", f, magnitude_db(h_l, f, opt.rate),
                    magnitude_db(h_r, f, opt.rate));

    ResponsePlot plot;
    plot.title = name + " magnitude response";
    plot.notes.push_back(settings);
    // Every parameter as the plug-in shows it, when there are few enough to read.
    constexpr int kMaxListedParams = 16;
    constexpr size_t kNoteWidth = 140;  // characters per line under the title
    if (plugin->num_params() <= kMaxListedParams) {
        std::string line;
        for (int i = 0; i < plugin->num_params(); ++i) {
            const std::string item = plugin->parameter_name(i) + " " + plugin->parameter_display(i);
            if (!line.empty() && line.size() + item.size() + 3 > kNoteWidth) {
                plot.notes.push_back(line);
                line.clear();
            }
            line += (line.empty() ? "" : "  \u00b7  ") + item;
        }
        if (!line.empty())
            plot.notes.push_back(line);
    }
    plot.notes.push_back("Impulse response of " + std::to_string(length) + " samples at " +
                         std::to_string(static_cast<long>(opt.rate)) + " Hz through processReplacing");
    plot.freqs_hz = log_frequencies(20.0, std::min(20000.0, opt.rate * 0.49), kPlotPoints);
    ResponseCurve left{"left", {}}, right{"right", {}};
    bool same = true;
    for (double f : plot.freqs_hz) {
        left.db.push_back(magnitude_db(h_l, f, opt.rate));
        right.db.push_back(magnitude_db(h_r, f, opt.rate));
        same = same && std::fabs(left.db.back() - right.db.back()) < 0.01;
    }
    if (same) {
        left.label = "left = right";
        plot.curves.push_back(left);
    } else {
        plot.curves.push_back(left);
        plot.curves.push_back(right);
    }
    OutputFile svg(opt.svg);
    svg.write_all(response_svg(plot));
    svg.commit();
    std::printf("Plot written to %s\n", opt.svg.c_str());
    return 0;
}

// ---- bench ------------------------------------------------------------------------

int command_bench(const std::string& path, const Options& opt)
{
    std::unique_ptr<VstPlugin> plugin = load_plugin(path);
    set_audio_thread_fp_mode();
    apply_settings(*plugin, opt);
    plugin->start(static_cast<float>(opt.rate), opt.block);

    Buffers buf(plugin->num_inputs(), plugin->num_outputs(), opt.block);
    Noise noise;
    for (float& s : buf.in)
        s = noise.next(0.25f);  // about -12 dBFS peak

    const long frames_per_run = std::max<long>(opt.block, static_cast<long>(opt.seconds * opt.rate));
    const long calls = (frames_per_run + opt.block - 1) / opt.block;
    // Warm-up: caches, branch predictors, and the plug-in's glides settle.
    for (long i = 0; i < std::max<long>(calls / 4, static_cast<long>(opt.rate / opt.block)); ++i)
        plugin->process(buf.in_ptr.data(), buf.out_ptr.data(), opt.block);

    std::vector<double> ns_per_frame;
    for (int run = 0; run < opt.runs; ++run) {
        const double t0 = thread_cpu_seconds();
        for (long i = 0; i < calls; ++i)
            plugin->process(buf.in_ptr.data(), buf.out_ptr.data(), opt.block);
        const double t1 = thread_cpu_seconds();
        ns_per_frame.push_back((t1 - t0) * 1e9 / static_cast<double>(calls * opt.block));
    }
    std::sort(ns_per_frame.begin(), ns_per_frame.end());
    const double best = ns_per_frame.front();
    const double median = ns_per_frame[ns_per_frame.size() / 2];
    const double realtime = (1e9 / opt.rate) / median;
    const std::string name = plugin->effect_name().empty() ? path : plugin->effect_name();
    std::printf("bench: %s: %.0f Hz, %d-frame blocks, %dx%d channels, %s: best %.2f ns/frame, "
                "median %.2f ns/frame, %.0fx real time\n",
                name.c_str(), opt.rate, opt.block, plugin->num_inputs(), plugin->num_outputs(),
                settings_text(*plugin, opt).c_str(), best, median, realtime);
    return 0;
}

// ---- save ---------------------------------------------------------------------------

int command_save(const std::string& path, const std::string& file, const Options& opt)
{
    const auto ends_with = [&file](const char* ext) {
        const size_t n = std::strlen(ext);
        return file.size() > n && strcasecmp(file.c_str() + file.size() - n, ext) == 0;
    };
    if (!ends_with(".fxb") && !ends_with(".fxp"))
        throw HostError("save: " + file + " must end in .fxb (the bank) or .fxp (the current program)");
    std::unique_ptr<VstPlugin> plugin = load_plugin(path);
    apply_settings(*plugin, opt);
    AEffect* e = plugin->effect();
    if (!(e->flags & effFlagsProgramChunks))
        throw HostError("the plug-in does not keep its programs as chunks; nothing to save");

    PresetFile preset;
    preset.bank = ends_with(".fxb");
    void* data = nullptr;
    const VstIntPtr size = plugin->dispatch(effGetChunk, preset.bank ? 0 : 1, 0, &data);
    if (size <= 0 || !data)
        throw HostError("the plug-in gave no chunk to save");
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    preset.chunk.assign(bytes, bytes + size);
    preset.fx_id = e->uniqueID;
    preset.fx_version = e->version;
    preset.count = preset.bank ? plugin->num_programs() : plugin->num_params();
    preset.current_program = static_cast<int32_t>(plugin->dispatch(effGetProgram));
    preset.program_name = plugin->current_program_name();

    const std::vector<uint8_t> encoded = encode_preset(preset);
    OutputFile out(file);
    out.write_all(std::string(encoded.begin(), encoded.end()));
    out.commit();
    std::printf("save: %s, %s of %s (%zu-byte chunk)\n", file.c_str(),
                preset.bank ? "the bank" : ("program \"" + preset.program_name + "\"").c_str(),
                plugin->effect_name().c_str(), preset.chunk.size());
    return 0;
}

// ---- signal -----------------------------------------------------------------------

int command_signal(const std::string& out_path, const Options& opt)
{
    // A short programme that shows an equaliser at work: a logarithmic sine
    // sweep 30 Hz to 16 kHz, then a chord with bass, mid and treble partials,
    // then a burst of decorrelated noise, each at moderate level.
    const int rate = static_cast<int>(opt.rate);
    const long frames = std::max<long>(rate / 10, static_cast<long>(opt.seconds * rate));
    const long sweep_end = frames / 2;
    const long chord_end = frames * 4 / 5;
    std::vector<float> data(static_cast<size_t>(frames) * 2);
    Noise noise_l, noise_r;
    noise_r.state = 0x9E3779B9u;
    const double f0 = 30.0, f1 = 16000.0;
    const double k = std::log(f1 / f0);
    const double fade = 0.01 * rate;  // 10 ms fades at every section edge
    for (long i = 0; i < frames; ++i) {
        double l = 0.0, r = 0.0, env = 1.0;
        if (i < sweep_end) {
            const double t = static_cast<double>(i) / rate, T = static_cast<double>(sweep_end) / rate;
            const double phase = 2.0 * kPi * f0 * T / k * (std::exp(t / T * k) - 1.0);
            l = r = 0.25 * std::sin(phase);
            env = std::min({1.0, i / fade, (sweep_end - i) / fade});
        } else if (i < chord_end) {
            const double t = static_cast<double>(i - sweep_end) / rate;
            const double partials[][2] = {{55.0, 0.20}, {110.0, 0.12}, {880.0, 0.08},
                                          {1320.0, 0.05}, {3300.0, 0.04}, {9000.0, 0.03}};
            for (const auto& p : partials)
                l += p[1] * std::sin(2.0 * kPi * p[0] * t);
            r = l;
            env = std::min({1.0, (i - sweep_end) / fade, (chord_end - i) / fade});
        } else {
            l = noise_l.next(0.2f);
            r = noise_r.next(0.2f);
            env = std::min({1.0, (i - chord_end) / fade, (frames - i) / fade});
        }
        data[static_cast<size_t>(i) * 2] = static_cast<float>(l * env);
        data[static_cast<size_t>(i) * 2 + 1] = static_cast<float>(r * env);
    }

    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    OutputFile out_file(out_path);
    SNDFILE* out = sf_open_fd(out_file.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!out)
        throw HostError("cannot write " + out_path + ": " + sf_strerror(nullptr));
    const sf_count_t written = sf_writef_float(out, data.data(), frames);
    const bool closed = sf_close(out) == 0;
    if (written != frames || !closed)
        throw HostError("cannot write " + out_path);
    out_file.commit();
    std::printf("signal: %s, %ld frames at %d Hz, stereo 24-bit WAV (sweep, chord, noise)\n",
                out_path.c_str(), frames, rate);
    return 0;
}

}  // namespace vsthost
