// Replays fuzzer inputs (files, or folders of files) through the fuzz target
// without libFuzzer: the normal and sanitizer builds run the kept corpus as a
// regression test.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replay(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return -1;
    }
    if (S_ISDIR(st.st_mode)) {
        int n = 0;
        DIR* d = opendir(path.c_str());
        if (!d)
            return -1;
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            const int r = replay(path + "/" + e->d_name);
            if (r < 0) {
                closedir(d);
                return -1;
            }
            n += r;
        }
        closedir(d);
        return n;
    }
    std::ifstream f(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int total = 0;
    for (int i = 1; i < argc; ++i) {
        const int n = replay(argv[i]);
        if (n < 0)
            return 1;
        total += n;
    }
    std::printf("replayed %d inputs\n", total);
    return total > 0 ? 0 : 1;
}
