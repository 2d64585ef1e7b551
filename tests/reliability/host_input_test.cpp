// ze710-host given bad audio files and wrong options, as a user might: an
// unreadable path, an empty file, a header without audio, files cut short
// (also inside a sample frame), headers that announce gigabytes the file does
// not hold (a sparse file keeps the disk use small), more channels than it
// renders. Each gives one line on standard error, a non-zero exit and no
// output file. An output that cannot be completed (a file-size limit) or a
// render interrupted by a signal leaves neither the output nor its temporary
// file behind, and a huge input is streamed, not loaded.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Result {
    bool exited = false;
    int code = -1;
    int signal = 0;
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
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

void remove_tree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& name : list_dir(path))
            remove_tree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

struct Limits {
    rlim_t file_size = RLIM_INFINITY;     // RLIMIT_FSIZE, bytes
    rlim_t address_space = RLIM_INFINITY; // RLIMIT_AS, bytes
};

class HostInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ze710-host-input.XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir = templ;
        logs = dir + ".logs";
        ASSERT_EQ(mkdir(logs.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        remove_tree(dir);
        remove_tree(logs);
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Starts ze710-host in the scratch folder; returns its pid.
    pid_t start(const std::vector<std::string>& args, const Limits& limits = Limits())
    {
        std::vector<std::string> argv_s = {ZE710_HOST_PATH};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        const std::string out_path = logs + "/stdout", err_path = logs + "/stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (std::string& s : argv_s)
                argv.push_back(&s[0]);
            argv.push_back(nullptr);
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(dir.c_str()) != 0)
                _exit(127);
            const rlimit fsize{limits.file_size, limits.file_size};
            const rlimit as{limits.address_space, limits.address_space};
            if (setrlimit(RLIMIT_FSIZE, &fsize) != 0 || setrlimit(RLIMIT_AS, &as) != 0)
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    Result finish(pid_t pid)
    {
        Result r;
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        r.exited = WIFEXITED(status);
        r.code = r.exited ? WEXITSTATUS(status) : -1;
        r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        r.out = slurp(logs + "/stdout");
        r.err = slurp(logs + "/stderr");
        return r;
    }

    Result run(const std::vector<std::string>& args, const Limits& limits = Limits())
    {
        const pid_t pid = start(args, limits);
        EXPECT_GT(pid, 0);
        return finish(pid);
    }

    // One line "ze710-host: ...", a non-zero exit, nothing new in the folder.
    void expect_clean_refusal(const std::vector<std::string>& args, const std::string& expect_in_message = "",
                              const Limits& limits = Limits())
    {
        std::string shown;
        for (const std::string& a : args)
            shown += "'" + a + "' ";
        const std::set<std::string> before = list_dir(dir);
        const Result r = run(args, limits);
        EXPECT_TRUE(r.exited) << shown << ": killed by signal " << r.signal;
        EXPECT_NE(r.code, 0) << shown;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << ": " << r.err;
        EXPECT_EQ(r.err.rfind("ze710-host: ", 0), 0u) << shown << ": " << r.err;
        if (!expect_in_message.empty()) {
            EXPECT_NE(r.err.find(expect_in_message), std::string::npos) << shown << ": " << r.err;
        }
        EXPECT_EQ(list_dir(dir), before) << shown << ": left a file behind";
    }

    // A stereo 24-bit WAV of `frames` frames of a quiet sine.
    std::string write_wav(const std::string& name, long frames, int channels = 2, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24)
    {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<float> data(static_cast<size_t>(frames * channels));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = 0.25f * static_cast<float>(((i / static_cast<size_t>(channels)) % 100)) / 100.0f;
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
        return slurp(path(name));
    }

    void write_bytes(const std::string& name, const std::string& bytes)
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string dir, logs;
};

// Offset of a RIFF chunk's 4-byte size field.
size_t chunk_size_offset(const std::string& wav, const char* id)
{
    const size_t at = wav.find(id, 12);
    return at == std::string::npos ? 0 : at + 4;
}

void put_u32(std::string& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}

TEST_F(HostInput, BadAudioFilesAreRefusedWithOneLineAndNoOutput)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    const std::string good = write_wav("good.wav", 4800);
    const size_t data_size_at = chunk_size_offset(good, "data");
    ASSERT_GT(data_size_at, 0u);

    // Unreadable: a folder, a dangling link, a file without read permission.
    ASSERT_EQ(mkdir(path("folder.wav").c_str(), 0755), 0);
    ASSERT_EQ(symlink("nowhere.wav", path("dangling.wav").c_str()), 0);
    expect_clean_refusal({"render", plugin, "folder.wav", "out.wav"}, "folder.wav");
    expect_clean_refusal({"render", plugin, "dangling.wav", "out.wav"}, "dangling.wav");
    if (geteuid() != 0) {  // root reads it anyway
        write_bytes("locked.wav", good);
        ASSERT_EQ(chmod(path("locked.wav").c_str(), 0), 0);
        expect_clean_refusal({"render", plugin, "locked.wav", "out.wav"}, "locked.wav");
    }

    // Empty: no bytes; a complete header with no audio.
    write_bytes("empty.wav", "");
    expect_clean_refusal({"render", plugin, "empty.wav", "out.wav"}, "empty.wav");
    std::string header_only = good.substr(0, data_size_at + 4);
    put_u32(header_only, data_size_at, 0);
    put_u32(header_only, 4, static_cast<uint32_t>(header_only.size() - 8));
    write_bytes("header-only.wav", header_only);
    expect_clean_refusal({"render", plugin, "header-only.wav", "out.wav"}, "no audio");

    // Truncated: cut in the middle of the audio, inside a sample frame, and
    // inside the header.
    write_bytes("half.wav", good.substr(0, good.size() / 2));
    expect_clean_refusal({"render", plugin, "half.wav", "out.wav"}, "truncated");
    write_bytes("mid-frame.wav", good.substr(0, data_size_at + 4 + 6 * 1000 + 4));
    expect_clean_refusal({"render", plugin, "mid-frame.wav", "out.wav"}, "truncated");
    write_bytes("cut-header.wav", good.substr(0, 30));
    expect_clean_refusal({"render", plugin, "cut-header.wav", "out.wav"}, "cut-header.wav");

    // Huge: a header that announces 4 GiB over 3 kB of audio, and a 2 GiB
    // sparse file whose header announces more still.
    std::string lie = good.substr(0, data_size_at + 4 + 3000);
    put_u32(lie, data_size_at, 0xFFFFFFF0u);
    write_bytes("lie.wav", lie);
    expect_clean_refusal({"render", plugin, "lie.wav", "out.wav"}, "truncated");
    {
        std::string head = good.substr(0, data_size_at + 4);
        put_u32(head, data_size_at, 0xFFFFFF00u);
        put_u32(head, 4, 0xFFFFFF00u + static_cast<uint32_t>(data_size_at + 4 - 8));
        write_bytes("sparse.wav", head);
        ASSERT_EQ(truncate(path("sparse.wav").c_str(), 2LL << 30), 0);
        struct stat st;
        ASSERT_EQ(stat(path("sparse.wav").c_str(), &st), 0);
        EXPECT_LT(st.st_blocks * 512, 1 << 20) << "the test file should be sparse";
        expect_clean_refusal({"render", plugin, "sparse.wav", "out.wav"}, "truncated");
    }

    // A RIFF header over garbage, and more channels than the tool renders.
    write_bytes("garbage.wav", "RIFF\x10\x00\x00\x00WAVEjunkjunkjunk");
    expect_clean_refusal({"render", plugin, "garbage.wav", "out.wav"}, "garbage.wav");
    write_wav("six.wav", 480, 6);
    expect_clean_refusal({"render", plugin, "six.wav", "out.wav"}, "channels");

    // The same cut in AIFF: its sound chunk announces more than is there.
    const std::string aiff = write_wav("good.aiff", 4800, 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    write_bytes("half.aiff", aiff.substr(0, aiff.size() / 2));
    expect_clean_refusal({"render", plugin, "half.aiff", "out.aiff"}, "truncated");

    // The intact files still render.
    const Result ok = run({"render", plugin, "good.wav", "out.wav"});
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_EQ(list_dir(dir).count("out.wav"), 1u);
}

TEST_F(HostInput, WrongOptionsAreRefusedWithOneLine)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    write_wav("good.wav", 480);
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"render", plugin, "good.wav"},
        {"render", plugin, "good.wav", "out.wav", "extra.wav"},
        {"render", "", "good.wav", "out.wav"},
        {"render", plugin, "good.wav", ""},
        {"render", plugin, "good.wav", "folder"},
        {"render", plugin, "good.wav", "out.wav", "--block", "-1"},
        {"render", plugin, "good.wav", "out.wav", "--block", "99999999999999999999"},
        {"render", plugin, "good.wav", "out.wav", "--block", ""},
        {"render", plugin, "good.wav", "out.wav", "--param", "=0.5"},
        {"render", plugin, "good.wav", "out.wav", "--param", "1="},
        {"render", plugin, "good.wav", "out.wav", "--param", "1=nan"},
        {"render", plugin, "good.wav", "out.wav", "--param", "1=inf"},
        {"render", plugin, "good.wav", "out.wav", "--param", "-1=0.5"},
        {"render", plugin, "good.wav", "out.wav", "--program", ""},
        {"render", plugin, "good.wav", "out.wav", "--program", "-1"},
        {"response", plugin, "--rate", "1e400"},
        {"response", plugin, "--rate", "nan"},
        {"response", plugin, "--length", "0"},
        {"bench", plugin, "--runs", "0"},
        {"bench", plugin, "--seconds", "-1"},
        {"signal", "demo.wav", "--seconds", "1e9"},
        {"signal", "demo.wav", "--rate"},
        {"-x"},
        {"render", plugin, "good.wav", "out.wav", "-"},
    };
    for (const auto& args : cases)
        expect_clean_refusal(args);
    EXPECT_EQ(list_dir(path("folder")).size(), 0u);
}

// An output that cannot be completed (here a file-size limit, as a full disk
// would do) leaves neither the output nor its temporary file; a 1 GiB input
// (sparse) is streamed through a small address space.
TEST_F(HostInput, OutputThatCannotBeCompletedLeavesNothing)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    write_wav("two-seconds.wav", 96000);
    Limits small_file;
    small_file.file_size = 256 * 1024;
    expect_clean_refusal({"render", plugin, "two-seconds.wav", "out.wav"}, "out.wav", small_file);

    // A valid header over 1 GiB of (sparse) silence: 178 956 970 frames.
    const std::string good = write_wav("model.wav", 48);
    const size_t data_size_at = chunk_size_offset(good, "data");
    std::string head = good.substr(0, data_size_at + 4);
    const uint32_t data_bytes = (1u << 30) / 6 * 6;
    put_u32(head, data_size_at, data_bytes);
    put_u32(head, 4, data_bytes + static_cast<uint32_t>(data_size_at + 4 - 8));
    write_bytes("huge.wav", head);
    ASSERT_EQ(truncate(path("huge.wav").c_str(), static_cast<off_t>(head.size()) + data_bytes), 0);
    unlink(path("model.wav").c_str());
    Limits streamed = small_file;
    streamed.file_size = 1 << 20;
#ifndef ZE710_SANITIZED
    // The sanitizer runtimes reserve terabytes of address space up front.
    streamed.address_space = 512u << 20;
#endif
    expect_clean_refusal({"render", plugin, "huge.wav", "out.wav"}, "cannot write out.wav", streamed);
}

// Interrupted while rendering (Ctrl-C, kill): the half-written temporary file
// is removed and no output appears. The input is a pipe that delivers a
// second of audio and then stalls, so the render is caught in the middle.
TEST_F(HostInput, InterruptedRenderLeavesNothing)
{
    const std::string plugin = ZE710_PLUGIN_PATH;
    std::string stream = write_wav("model.wav", 48000);
    unlink(path("model.wav").c_str());
    // The length placeholders of a file written to a pipe.
    put_u32(stream, 4, 0xFFFFFFFFu);
    put_u32(stream, chunk_size_offset(stream, "data"), 0xFFFFFFFFu);

    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(mkfifo(path("live.wav").c_str(), 0600), 0);
        const std::set<std::string> before = list_dir(dir);
        const pid_t pid = start({"render", plugin, "live.wav", "out.wav"});
        ASSERT_GT(pid, 0);
        const int writer = open(path("live.wav").c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(write(writer, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));

        // Wait until the render has written some of its temporary file.
        bool writing = false;
        for (int i = 0; i < 1000 && !writing; ++i) {
            for (const std::string& name : list_dir(dir)) {
                struct stat st;
                if (name.rfind("out.wav.", 0) == 0 && stat(path(name).c_str(), &st) == 0 && st.st_size > 100000)
                    writing = true;
            }
            if (!writing)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(writing) << "the render never started writing";
        kill(pid, sig);
        const Result r = finish(pid);
        close(writer);
        EXPECT_EQ(r.signal, sig) << "exit " << r.code << ": " << r.err;
        EXPECT_EQ(list_dir(dir), before) << "signal " << sig << " left a file behind";
        unlink(path("live.wav").c_str());
    }
}

}  // namespace
