// ze710-host editor run as a user runs it: the editor opens in a window of
// the reported size, the plug-in's automation is printed, the time limit
// closes it cleanly with a screenshot of the window, and without a display
// the tool says so and fails.
#include "tests/editor/editor_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

using namespace editor_test;

struct Result {
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Output files are named after the test: ctest runs the tests of this file
// side by side.
Result run_host(const std::vector<std::string>& args, bool with_display)
{
    const std::string dir = std::string(ZE710_EDITOR_OUTPUT_DIR);
    const std::string base =
        dir + "/host-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string out_path = base + ".out";
    const std::string err_path = base + ".err";
    std::vector<std::string> argv_s = {ZE710_HOST_PATH};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_s;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) != 0)
            env_s.push_back(entry);
    }
    if (with_display)
        env_s.push_back("DISPLAY=" + private_display::name());
    env_s.push_back("ZOKA_UI_DPI=96");
    std::vector<char*> env;
    for (std::string& e : env_s)
        env.push_back(e.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Result r;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

TEST(HostEditorCommand, OpensPrintsAutomationClosesAfterTheLimitAndSavesAScreenshot)
{
    const std::string png = std::string(ZE710_EDITOR_OUTPUT_DIR) + "/host-editor.png";
    std::remove(png.c_str());
    const Result r = run_host({"editor", ZE710_PLUGIN_PATH, "--program", "5", "--close-after",
                               "1", "--screenshot", png},
                              true);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("editor 468 x 510 in window"), std::string::npos) << r.out;
    // Selecting a program automates the eight audio parameters.
    int automations = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        automations += line.rfind("automate ", 0) == 0;
    EXPECT_EQ(automations, 8) << r.out;
    EXPECT_NE(r.out.find("automate 7 1.000000"), std::string::npos);
    EXPECT_NE(r.out.find("editor closed"), std::string::npos);

    int w = 0, h = 0;
    std::vector<rgb> shot;
    ASSERT_TRUE(read_png(png, &w, &h, &shot));
    EXPECT_EQ(w, 468);
    EXPECT_EQ(h, 510);
    // The panel is in the middle of the picture: far from black there.
    size_t lit = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 162; x < 306; ++x) {
            const rgb& c = shot[static_cast<size_t>(y) * w + x];
            lit += c.r + c.g + c.b > 96;
        }
    EXPECT_GT(lit, static_cast<size_t>(144 * 510 / 5));
}

TEST(HostEditorCommand, WithoutADisplaySaysSoAndFails)
{
    const Result r = run_host({"editor", ZE710_PLUGIN_PATH, "--close-after", "1"}, false);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("no X display"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("editor 468"), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    return RUN_ALL_TESTS();
}
