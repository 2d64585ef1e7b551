// ze710-vst3-render: renders a sound file through a VST3 module, as a DAW
// that sets the values before playback starts.
//
//   ze710-vst3-render BUNDLE.vst3 IN OUT [--program N] [--param ID=VALUE]... [--block N]
//
// The output keeps the input's format, rate and channel count (mono feeds
// both inputs); values are normalised, set through the controller before
// the component is activated. Errors: one line, exit status 1.
#include <sndfile.h>
#include <xmmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/vst3_host/vst3_host.h"

namespace {

constexpr vst3::ParamID kProgramId = 101;  // ZE710's program parameter
constexpr int kNumPrograms = 9;

int fail(const std::string& message)
{
    std::fprintf(stderr, "ze710-vst3-render: %s\n", message.c_str());
    return 1;
}

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return fail("usage: ze710-vst3-render BUNDLE IN OUT [--program N] [--param ID=VALUE]... [--block N]");
    std::vector<std::pair<vst3::ParamID, double>> settings;
    int block = 512;
    for (int i = 4; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "--program")
            settings.emplace_back(kProgramId, std::atof(value.c_str()) / (kNumPrograms - 1));
        else if (flag == "--param" && value.find('=') != std::string::npos)
            settings.emplace_back(static_cast<vst3::ParamID>(std::atoi(value.c_str())),
                                  std::atof(value.c_str() + value.find('=') + 1));
        else if (flag == "--block" && std::atoi(value.c_str()) > 0)
            block = std::atoi(value.c_str());
        else
            return fail("unknown option " + flag + " " + value);
    }

    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> in(sf_open(argv[2], SFM_READ, &info));
    if (!in)
        return fail(std::string("cannot read ") + argv[2] + ": " + sf_strerror(nullptr));
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0)
        return fail(std::string(argv[2]) + ": only mono and stereo files at a valid rate");
    std::string error;
    std::unique_ptr<vst3host::Module> module = vst3host::Module::load(argv[1], &error);
    std::unique_ptr<vst3host::Plugin> plugin = module ? module->create(&error) : nullptr;
    if (!plugin)
        return fail(error);
    _mm_setcsr(_mm_getcsr() | 0x8040);  // FTZ | DAZ, as ze710-host renders
    for (const auto& [id, value] : settings)
        plugin->controller()->setParamNormalized(id, value);
    if (!plugin->start(info.samplerate, block))
        return fail("the plug-in refuses " + std::to_string(info.samplerate) + " Hz");

    SF_INFO out_info{};
    out_info.samplerate = info.samplerate;
    out_info.channels = info.channels;
    out_info.format = info.format;
    std::unique_ptr<SNDFILE, SndCloser> out(sf_open(argv[3], SFM_WRITE, &out_info));
    if (!out)
        return fail(std::string("cannot write ") + argv[3] + ": " + sf_strerror(nullptr));
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const size_t ch = static_cast<size_t>(info.channels);
    std::vector<float> frames(static_cast<size_t>(block) * ch), l(block), r(block), out_l(block), out_r(block);
    sf_count_t done = 0;
    for (sf_count_t got; (got = sf_readf_float(in.get(), frames.data(), block)) > 0; done += got) {
        for (size_t i = 0; i < static_cast<size_t>(got); ++i)
            l[i] = frames[i * ch], r[i] = frames[i * ch + ch - 1];
        plugin->process(l.data(), r.data(), out_l.data(), out_r.data(), static_cast<vst3::int32>(got));
        for (size_t i = 0; i < static_cast<size_t>(got); ++i) {
            frames[i * ch] = out_l[i];
            if (ch > 1)
                frames[i * ch + 1] = out_r[i];
        }
        if (sf_writef_float(out.get(), frames.data(), got) != got)
            return fail(std::string("cannot write ") + argv[3]);
    }
    std::printf("ze710-vst3-render: %s -> %s, %lld frames at %d Hz through %s\n", argv[2], argv[3],
                static_cast<long long>(done), info.samplerate, argv[1]);
    return 0;
}
