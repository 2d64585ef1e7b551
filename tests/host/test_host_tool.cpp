// ze710-host run as a user runs it: bad options, modules and audio files
// (and FIFOs and devices where files belong) give one line on standard error, a non-zero exit and no output file, not
// even a temporary one; so do an output that cannot be completed and a
// render interrupted by a signal. Good input gives the identity listing,
// audio in the input's own format, and the response table with its plot.
#include "tests/support/support.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>

using namespace test_support;

namespace {

class HostTool : public testing::Test {
protected:
    // ze710-host in the scratch folder, with prlimit's limits ("--fsize=N"...).
    run_result host(std::vector<std::string> args, const std::vector<std::string>& limits = {})
    {
        args.insert(args.begin(), ZE710_HOST_PATH);
        args.insert(args.begin(), limits.begin(), limits.end());
        args.insert(args.begin(), {"env", "-C", dir.path(), "prlimit"});
        return run(args);
    }
    // One line "ze710-host: ...", a non-zero exit, nothing new in the folder.
    void expect_refused(const std::vector<std::string>& args, const std::string& told = "",
                        const std::vector<std::string>& limits = {})
    {
        std::string shown;
        for (const std::string& a : args)
            shown += "'" + a + "' ";
        const std::set<std::string> before = dir.list();
        const run_result r = host(args, limits);
        EXPECT_TRUE(r.code > 0 && std::count(r.err.begin(), r.err.end(), '\n') == 1 && r.err.rfind("ze710-host: ", 0) == 0 &&
                    r.err.find(told) != std::string::npos) << shown << "exit " << r.code << ": " << r.err;
        EXPECT_EQ(dir.list(), before) << shown << "left a file behind";
    }
    // A 24-bit WAV (or other format) of a quiet ramp; its bytes.
    std::string audio(const std::string& name, long frames, int channels = 2, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24)
    {
        SF_INFO info{0, 48000, channels, format, 0, 0};
        SNDFILE* f = sf_open((dir / name).c_str(), SFM_WRITE, &info);
        std::vector<float> data(static_cast<size_t>(frames * channels));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = 0.25f * static_cast<float>(i / channels % 100) / 100.0f;
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
        return slurp(dir / name);
    }
    std::vector<float> read(const std::string& name, SF_INFO* info)
    {
        *info = SF_INFO{};
        SNDFILE* f = sf_open((dir / name).c_str(), SFM_READ, info);
        std::vector<float> data(f ? static_cast<size_t>(info->frames * info->channels) : 0);
        if (f)
            sf_readf_float(f, data.data(), info->frames), sf_close(f);
        return data;
    }
    void write(const std::string& name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; }
    scratch_dir dir;
};

// A RIFF chunk's 4-byte size field set to v.
std::string with_size(std::string wav, const char* chunk, uint32_t v)
{
    const size_t at = chunk ? wav.find(chunk, 12) + 4 : 4;
    for (int i = 0; i < 4; ++i)
        wav[at + i] = static_cast<char>(v >> (8 * i));
    return wav;
}

TEST_F(HostTool, BadOptionsAndModulesAreRefused)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    audio("good.wav", 480);
    write("notes.txt", "not a plug-in\n");
    mkdir((dir / "folder").c_str(), 0755);
    mkfifo((dir / "fifo.fxb").c_str(), 0600);  // nobody writes it: an open would wait for ever
    const std::vector<std::vector<std::string>> rows = {
        {}, {"frobnicate"}, {"-x"}, {"info"}, {"info", "/nonexistent/ze710.so"}, {"info", "notes.txt"},
        {"info", ZE710_NO_ENTRY_MODULE}, {"info", ZE710_NULL_ENTRY_MODULE}, {"info", ZE710_BAD_MAGIC_MODULE},
        {"info", plugin, "--frobnicate"}, {"info", plugin, "--program", "9"}, {"info", plugin, "--program", "two"},
        {"info", plugin, "--param", "12=0.5"}, {"info", plugin, "--param", "1=1.5"}, {"info", plugin, "--param", "1=nan"},
        {"info", plugin, "--param", "-1=0.5"}, {"info", plugin, "extra"}, {"bench", plugin, "--block", "0"},
        {"bench", plugin, "--runs", "0"}, {"response", plugin, "--rate", "1e400"}, {"response", plugin, "--length", "0"},
        {"response", plugin, "--svg", "/nonexistent-dir/plot.svg"}, {"render", plugin, "good.wav"},
        {"render", plugin, "good.wav", "out.wav", "extra.wav"}, {"render", plugin, "missing.wav", "out.wav"},
        {"render", plugin, "good.wav", "folder"}, {"render", plugin, "good.wav", "/nonexistent-dir/out.wav"},
        {"render", plugin, "good.wav", "out.wav", "--block", "99999999999999999999"},
        {"render", plugin, "good.wav", "out.wav", "--program", "-1"}, {"signal", "demo.wav", "--seconds", "1e9"},
        {"signal", "demo.wav", "--rate"}, {"info", plugin, "--load", "fifo.fxb"}, {"save", plugin, "out.fxb", "--load", "fifo.fxb"},
        {"render", plugin, "good.wav", "out.wav", "--load", "fifo.fxb"}, {"render", plugin, "fifo.fxb", "out.wav"}};
    for (const auto& args : rows)
        expect_refused(args);
    unlink((dir / "fifo.fxb").c_str());
}

// Unreadable, empty, header-only, truncated (also inside a sample frame and
// inside the header), lying about gigabytes (also sparsely), garbage, and
// more channels than rendered; the intact file still renders.
TEST_F(HostTool, BadAudioFilesAreRefused)
{
    const std::string plugin = ZE710_PLUGIN_PATH, good = audio("good.wav", 4800), aiff = audio("a.aiff", 4800, 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const size_t data = good.find("data", 12) + 8;
    write("empty.wav", ""), write("header-only.wav", with_size(with_size(good.substr(0, data), "data", 0), nullptr, data - 8));
    write("half.wav", good.substr(0, good.size() / 2)), write("mid-frame.wav", good.substr(0, data + 6004));
    write("cut-header.wav", good.substr(0, 30)), write("lie.wav", with_size(good.substr(0, data + 3000), "data", 0xFFFFFFF0u));
    write("sparse.wav", with_size(with_size(good.substr(0, data), "data", 0xFFFFFF00u), nullptr, 0xFFFFFF00u));
    truncate((dir / "sparse.wav").c_str(), 2LL << 30);
    write("garbage.wav", std::string("RIFF\x10\0\0\0WAVEjunkjunkjunk", 20)), write("half.aiff", aiff.substr(0, aiff.size() / 2));
    audio("six.wav", 480, 6);
    mkdir((dir / "folder.wav").c_str(), 0755);
    const std::pair<const char*, const char*> rows[] = {
        {"folder.wav", "folder.wav"}, {"empty.wav", "empty.wav"}, {"header-only.wav", "no audio"}, {"half.wav", "truncated"},
        {"mid-frame.wav", "truncated"}, {"cut-header.wav", "cut-header.wav"}, {"lie.wav", "truncated"},
        {"sparse.wav", "truncated"}, {"garbage.wav", "garbage.wav"}, {"six.wav", "channels"}, {"half.aiff", "truncated"}};
    for (auto [file, told] : rows)
        expect_refused({"render", plugin, file, "out.wav"}, told);
    EXPECT_EQ(host({"render", plugin, "good.wav", "out.wav"}).code, 0);
}

// An output past a file-size limit (as a full disk would stop it) leaves
// neither the output nor its temporary file, and an earlier file of the same
// name as it was; a 1 GiB input is streamed through a small address space,
// not loaded; a render killed by a signal while it writes removes its
// temporary file.
TEST_F(HostTool, UnfinishedOutputsLeaveNothing)
{
    const std::string plugin = ZE710_PLUGIN_PATH, model = audio("model.wav", 48000);
    expect_refused({"render", plugin, "model.wav", "out.wav"}, "out.wav", {"--fsize=262144"});
    const size_t data = model.find("data", 12) + 8;
    const uint32_t bytes = (1u << 30) / 6 * 6;
    write("huge.wav", with_size(with_size(model.substr(0, data), "data", bytes), nullptr, bytes + data - 8));
    truncate((dir / "huge.wav").c_str(), static_cast<off_t>(data + bytes));
#ifndef ZE710_SANITIZED
    expect_refused({"render", plugin, "huge.wav", "out.wav"}, "cannot write out.wav", {"--fsize=1048576", "--as=536870912"});
#endif
    // The same hour of audio, stopped by a signal once the output grows.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const std::set<std::string> before = dir.list();
        child render({"env", "-C", dir.path(), ZE710_HOST_PATH, "render", plugin, "huge.wav", "out.wav"});
        std::error_code error;
        EXPECT_TRUE(wait_until([&] {
            for (const std::string& name : dir.list())
                if (name.rfind("out.wav.", 0) == 0 && std::filesystem::file_size(dir / name, error) + 1 > 100001)
                    return true;
            return false;
        })) << "the render never started writing";
        kill(render.pid(), sig);
        EXPECT_EQ(render.wait().signal, sig);
        EXPECT_EQ(dir.list(), before) << "signal " << sig << " left a file behind";
    }
    unlink((dir / "huge.wav").c_str());

    // A screenshot that cannot be written whole leaves the earlier one as it was.
    private_xvfb x("1000x1100x24");
    x.use();
    write("shot.png", "an earlier picture");
    expect_refused({"editor", plugin, "--close-after", "0.3", "--screenshot", "shot.png"}, "shot.png", {"--fsize=2000"});
    EXPECT_EQ(slurp(dir / "shot.png"), "an earlier picture");
}

TEST_F(HostTool, InfoRenderAndResponse)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    run_result r = host({"info", plugin, "--program", "4"});
    for (const char* line : {"Effect      ZE710", "Vendor      Kestrelwood", "'ZE71'", "2 inputs, 2 outputs", "bypass: yes",
                             "HF dB       0.395000  -4.20 dB", "Programs    9, current 4", "  8  09 Hollow Mid",
                             "Host saw    8 automation"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    // "Effect" off: after the 20 ms crossfade the output is the input; a +8
    // dB low shelf raises the sweep's start by 8 dB from the first frame.
    ASSERT_EQ(host({"signal", "demo.wav", "--seconds", "2", "--rate", "44100"}).code, 0);
    ASSERT_EQ(host({"render", plugin, "demo.wav", "dry.wav", "--param", "7=0", "--block", "300"}).code, 0);
    ASSERT_EQ(host({"render", plugin, "demo.wav", "boost.wav", "--param", "1=0.7"}).code, 0);
    SF_INFO in_info, out_info;
    const std::vector<float> in = read("demo.wav", &in_info), dry = read("dry.wav", &out_info), boost = read("boost.wav", &out_info);
    EXPECT_TRUE(out_info.format == in_info.format && out_info.samplerate == 44100 && out_info.channels == 2);
    EXPECT_TRUE(dry.size() == in.size() && std::equal(in.begin() + 4000, in.end(), dry.begin() + 4000));
    double e_in = 0, e_out = 0;
    for (size_t i = 1000; i < 4000; ++i)
        e_in += in[i] * in[i], e_out += boost[i] * boost[i];
    EXPECT_NEAR(10 * std::log10(e_out / e_in), 8.0, 0.5);
    // A mono FLAC in, a mono FLAC out.
    audio("tone.flac", 22050, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(host({"render", plugin, "tone.flac", "tone-out.flac"}).code, 0);
    EXPECT_TRUE(read("tone-out.flac", &out_info).size() == 22050 && out_info.format == (SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    // "05 Low End Boost": the high shelf's -4.20 dB at the top of the table.
    r = host({"response", plugin, "--program", "4", "--svg", "plot.svg"});
    const size_t at = r.out.find(" 20000.0 ");
    double f = 0, left = 0, right = 0;
    ASSERT_TRUE(at != std::string::npos && std::sscanf(r.out.c_str() + at, "%lf %lf %lf", &f, &left, &right) == 3) << r.out;
    EXPECT_NEAR(left, -4.2, 0.1);
    EXPECT_EQ(left, right);
    EXPECT_NE(slurp(dir / "plot.svg").find("<polyline"), std::string::npos);
}

} // namespace

namespace {

// .fxb/.fxp files written by save load back through --load (render
// included); damaged ones are refused in one line, leaving nothing behind.
TEST_F(HostTool, PresetFilesLoadBackAndMalformedOnesAreRefused)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    ASSERT_EQ(host({"save", plugin, "bank.fxb", "--program", "2", "--param", "1=0.9"}).code, 0);
    ASSERT_EQ(host({"save", plugin, "one.fxp", "--program", "5"}).code, 0);
    const std::string info = host({"info", plugin, "--load", "bank.fxb"}).out + host({"info", plugin, "--load", "one.fxp"}).out;
    for (const char* expected : {"current 2", "LF dB       0.900000", "Host saw    0 automation", "  0  06 Presence"})
        EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
    audio("in.wav", 14400);
    ASSERT_EQ(host({"render", plugin, "in.wav", "a.wav", "--load", "bank.fxb"}).code, 0);
    ASSERT_EQ(host({"render", plugin, "in.wav", "b.wav", "--program", "2", "--param", "1=0.9"}).code, 0);
    EXPECT_EQ(slurp(dir / "a.wav"), slurp(dir / "b.wav"));
    // The bank is the CLAP edition's state: the same render through ze710.clap.
    ASSERT_EQ(host({"render", ZE710_CLAP_PATH, "in.wav", "c.wav", "--load", "bank.fxb"}).code, 0);
    EXPECT_TRUE(slurp(dir / "a.wav") == slurp(dir / "c.wav"));
    expect_refused({"render", ZE710_CLAP_PATH, "in.wav", "out.wav", "--load", "one.fxp"}, "a CLAP state is a whole bank");

    const std::string bank = slurp(dir / "bank.fxb");  // 160-byte header, 528-byte chunk
    auto with = [&bank](size_t at, const char* bytes) { return std::string(bank).replace(at, 4, bytes, 4); };
    const std::pair<const char*, std::string> files[] = {
        {"truncated.fxb", bank.substr(0, 100)}, {"longer.fxb", bank + "x"},
        {"magic.fxb", with(0, "CcnX")},         {"values.fxb", with(8, "FxBk")},
        {"other.fxb", with(16, "XY12")},        {"eight.fxb", with(24, "\0\0\0\10")},
        {"size.fxb", with(156, "\0\0\2\21")},  {"damaged.fxb", with(160, "ZE7X")},
    };
    for (const auto& f : files) {
        write(f.first, f.second);
        expect_refused({"render", plugin, "in.wav", "out.wav", "--load", f.first});
    }
}

}  // namespace
