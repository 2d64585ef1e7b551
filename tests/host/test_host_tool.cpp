// ze710-host run as a user runs it: bad input of every kind gives a single
// line on standard error, a non-zero exit and no output file (not even a
// partial one); good input gives the identity listing, rendered audio in the
// input's own format, a response table with its plot, and a bench figure.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Result {
    bool exited = false;  // false: killed by a signal
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::set<std::string> list_dir(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

class HostTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ze710-host-test.XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir = templ;
        logs = dir + ".logs";
        ASSERT_EQ(mkdir(logs.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        for (const std::string& d : {dir, logs}) {
            for (const std::string& name : list_dir(d))
                unlink((d + "/" + name).c_str());
            rmdir(d.c_str());
        }
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    Result run(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv_s = {ZE710_HOST_PATH};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : argv_s)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
        const std::string out_path = logs + "/stdout", err_path = logs + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        pid_t pid;
        Result r;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        if (rc != 0)
            return r;
        int status = 0;
        waitpid(pid, &status, 0);
        r.exited = WIFEXITED(status);
        r.code = r.exited ? WEXITSTATUS(status) : -1;
        r.out = slurp(out_path);
        r.err = slurp(err_path);
        return r;
    }

    void write_text(const std::string& name, const std::string& text)
    {
        std::ofstream(path(name)) << text;
    }

    // Audio file helpers (libsndfile, as the tool itself uses).
    void write_audio(const std::string& name, int format, int channels, const std::vector<float>& frames, int rate = 44100)
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size() / channels));
        sf_close(f);
    }
    std::vector<float> read_audio(const std::string& name, SF_INFO* info)
    {
        *info = SF_INFO{};
        SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (!f)
            return {};
        std::vector<float> data(static_cast<size_t>(info->frames * info->channels));
        sf_readf_float(f, data.data(), info->frames);
        sf_close(f);
        return data;
    }

    std::string dir, logs;
};

TEST_F(HostTool, BadInputGivesOneLineAndNonZeroExit)
{
    write_text("notes.txt", "not a plug-in\n");
    write_text("noise.wav", "RIFF? no, just text pretending to be audio\n");
    ASSERT_EQ(run({"signal", "good.wav", "--seconds", "0.2"}).code, 0);
    const std::set<std::string> prepared = list_dir(dir);

    const std::string plugin = ZE710_PLUGIN_PATH;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"info"},
        {"info", "/nonexistent/ze710.so"},
        {"info", "notes.txt"},
        {"info", ZE710_NO_ENTRY_MODULE},
        {"info", ZE710_NULL_ENTRY_MODULE},
        {"info", ZE710_BAD_MAGIC_MODULE},
        {"info", plugin, "--frobnicate"},
        {"info", plugin, "--program"},
        {"info", plugin, "--program", "9"},
        {"info", plugin, "--program", "two"},
        {"info", plugin, "--param", "3"},
        {"info", plugin, "--param", "12=0.5"},
        {"info", plugin, "--param", "1=abc"},
        {"info", plugin, "--param", "1=1.5"},
        {"info", plugin, "extra"},
        {"bench", plugin, "--block", "0"},
        {"response", plugin, "--rate", "-5"},
        {"response", plugin, "--svg", "/nonexistent-dir/plot.svg"},
        {"render", plugin, "missing.wav", "out.wav"},
        {"render", plugin, "noise.wav", "out.wav"},
        {"render", plugin, "good.wav", "/nonexistent-dir/out.wav"},
        {"render", ZE710_NO_ENTRY_MODULE, "good.wav", "out.wav"},
        {"render", plugin, "good.wav", "out.wav", "--program", "12"},
        {"render", plugin, "good.wav", "out.wav", "--param", "40=0.1"},
        {"signal", "/nonexistent-dir/demo.wav"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        const Result r = run(args);
        EXPECT_TRUE(r.exited) << shown << ": crashed";
        EXPECT_NE(r.code, 0) << shown;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << ": " << r.err;
        EXPECT_EQ(r.err.rfind("ze710-host: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_EQ(r.err.back(), '\n') << shown;
        // Nothing written, not even a temporary file.
        EXPECT_EQ(list_dir(dir), prepared) << shown;
    }
}

TEST_F(HostTool, InfoListsIdentityParametersAndPrograms)
{
    const Result r = run({"info", ZE710_PLUGIN_PATH, "--program", "4"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* expected :
         {"Effect      ZE710", "Vendor      Kestrelwood", "Product     Stereo Channel EQ",
          "'ZE71'", "vendor 2310, VST 2400", "2 inputs, 2 outputs", "bypass: yes",
          "HF dB       0.395000  -4.20 dB", "Effect      1.000000  In ", "UI Size     0.000000  X 1.00",
          "Programs    9, current 4", "  0  01 User Preset 1", "  8  09 Hollow Mid",
          "Host saw    8 automation"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
}

TEST_F(HostTool, RenderKeepsFormatAndPassesDryWithEffectOff)
{
    ASSERT_EQ(run({"signal", "demo.wav", "--seconds", "2", "--rate", "44100"}).code, 0);
    // "Effect" off: after the 20 ms crossfade the output is the input.
    Result r = run({"render", ZE710_PLUGIN_PATH, "demo.wav", "dry.wav", "--param", "7=0", "--block", "300"});
    ASSERT_EQ(r.code, 0) << r.err;
    SF_INFO in_info, out_info;
    const std::vector<float> in = read_audio("demo.wav", &in_info);
    const std::vector<float> out = read_audio("dry.wav", &out_info);
    EXPECT_EQ(out_info.format, in_info.format);
    EXPECT_EQ(out_info.samplerate, 44100);
    EXPECT_EQ(out_info.channels, 2);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_TRUE(std::equal(in.begin() + 4000, in.end(), out.begin() + 4000));

    // A +8 dB low shelf raises the sweep's start (30 to 40 Hz) by 8 dB from
    // the first frame: the settings are in force before audio starts.
    r = run({"render", ZE710_PLUGIN_PATH, "demo.wav", "boost.wav", "--param", "1=0.7"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<float> boosted = read_audio("boost.wav", &out_info);
    double e_in = 0, e_out = 0;
    for (size_t i = 2 * 500; i < 2 * 2000; ++i) {
        e_in += in[i] * in[i];
        e_out += boosted[i] * boosted[i];
    }
    EXPECT_NEAR(10.0 * std::log10(e_out / e_in), 8.0, 0.5);
}

TEST_F(HostTool, RenderFeedsMonoToBothInputsAndWritesMono)
{
    std::vector<float> tone(22050);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.3f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 1000.0 * i / 44100.0));
    write_audio("tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, tone);
    const Result r = run({"render", ZE710_PLUGIN_PATH, "tone.flac", "tone-out.flac"});
    ASSERT_EQ(r.code, 0) << r.err;
    SF_INFO info;
    const std::vector<float> out = read_audio("tone-out.flac", &info);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.channels, 1);
    ASSERT_EQ(out.size(), tone.size());
    // Neutral settings: the level is kept within the mid band's tiny design gain.
    double e_in = 0, e_out = 0;
    for (size_t i = 4410; i < tone.size(); ++i) {
        e_in += tone[i] * tone[i];
        e_out += out[i] * out[i];
    }
    EXPECT_NEAR(10.0 * std::log10(e_out / e_in), 0.0, 0.1);
}

TEST_F(HostTool, ResponsePrintsATableAndWritesThePlot)
{
    const Result r = run({"response", ZE710_PLUGIN_PATH, "--program", "4", "--svg", "plot.svg"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The high shelf of "05 Low End Boost" is -4.20 dB at the top of the band.
    std::istringstream table(r.out);
    std::string line;
    double at_20k = 0;
    bool found = false;
    while (std::getline(table, line)) {
        double f, l, rr;
        if (std::sscanf(line.c_str(), "%lf %lf %lf", &f, &l, &rr) == 3 && f == 20000.0) {
            at_20k = l;
            found = true;
            EXPECT_EQ(l, rr);
        }
    }
    ASSERT_TRUE(found) << r.out;
    EXPECT_NEAR(at_20k, -4.2, 0.1);
    const std::string svg = slurp(path("plot.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("<polyline"), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_EQ(list_dir(dir), (std::set<std::string>{"plot.svg"}));
}

TEST_F(HostTool, BenchReportsNanosecondsPerFrame)
{
    const Result r = run({"bench", ZE710_PLUGIN_PATH, "--seconds", "0.05", "--runs", "2", "--block", "128"});
    ASSERT_EQ(r.code, 0) << r.err;
    double ns = 0;
    const size_t at = r.out.find("best ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "best %lf ns/frame", &ns), 1) << r.out;
    EXPECT_GT(ns, 0.0);
    EXPECT_NE(r.out.find("x real time"), std::string::npos);
    EXPECT_NE(r.out.find("128-frame blocks"), std::string::npos);
}

}  // namespace

namespace {

class HostPresets : public HostTool {};

// .fxb/.fxp files written by save load back through --load (render
// included); damaged ones are refused in one line before any output.
TEST_F(HostPresets, SavedFilesLoadBackAndMalformedOnesAreRefused)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    ASSERT_EQ(run({"save", plugin, "bank.fxb", "--program", "2", "--param", "1=0.9"}).code, 0);
    ASSERT_EQ(run({"save", plugin, "one.fxp", "--program", "5"}).code, 0);
    const std::string info = run({"info", plugin, "--load", "bank.fxb"}).out + run({"info", plugin, "--load", "one.fxp"}).out;
    for (const char* expected : {"current 2", "LF dB       0.900000", "Host saw    0 automation", "  0  06 Presence"})
        EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
    ASSERT_EQ(run({"signal", "in.wav", "--seconds", "0.3"}).code, 0);
    ASSERT_EQ(run({"render", plugin, "in.wav", "a.wav", "--load", "bank.fxb"}).code, 0);
    ASSERT_EQ(run({"render", plugin, "in.wav", "b.wav", "--program", "2", "--param", "1=0.9"}).code, 0);
    EXPECT_EQ(slurp(path("a.wav")), slurp(path("b.wav")));

    const std::string bank = slurp(path("bank.fxb"));  // 160-byte header, 528-byte chunk
    auto with = [&bank](size_t at, const char* bytes) { return std::string(bank).replace(at, 4, bytes, 4); };
    const std::pair<const char*, std::string> files[] = {
        {"truncated.fxb", bank.substr(0, 100)}, {"longer.fxb", bank + "x"},
        {"magic.fxb", with(0, "CcnX")},         {"values.fxb", with(8, "FxBk")},
        {"other.fxb", with(16, "XY12")},        {"eight.fxb", with(24, "\0\0\0\10")},
        {"size.fxb", with(156, "\0\0\2\21")},  {"damaged.fxb", with(160, "ZE7X")},
    };
    for (const auto& f : files)
        std::ofstream(path(f.first), std::ios::binary) << f.second;
    const std::set<std::string> prepared = list_dir(dir);
    for (const auto& f : files) {
        const Result r = run({"render", plugin, "in.wav", "out.wav", "--load", f.first});
        EXPECT_NE(r.code, 0) << f.first;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << f.first << ": " << r.err;
        EXPECT_EQ(list_dir(dir), prepared) << f.first;
    }
}

}  // namespace
