#include "tools/host/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/host/commands.h"

namespace vsthost {

namespace {

// Temporary files not yet renamed, removed by the handler of a fatal signal
// (Ctrl-C, kill, a hang-up) so that an interrupted run leaves nothing
// behind. Plain arrays and sig_atomic_t flags: the handler may touch nothing
// else.
constexpr int kMaxPendingFiles = 4;
constexpr size_t kMaxPendingPath = 4096;
char pending_path[kMaxPendingFiles][kMaxPendingPath];
volatile sig_atomic_t pending_used[kMaxPendingFiles];

extern "C" void remove_pending_and_die(int sig)
{
    for (int i = 0; i < kMaxPendingFiles; ++i)
        if (pending_used[i])
            unlink(pending_path[i]);
    signal(sig, SIG_DFL);
    raise(sig);
}

void install_cleanup_handlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // Past a file-size limit a write then fails with EFBIG and is reported
    // like any other write error, instead of the signal killing the process.
    signal(SIGXFSZ, SIG_IGN);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = remove_pending_and_die;
        sigemptyset(&sa.sa_mask);
        struct sigaction old;
        // A signal the caller set to be ignored stays ignored (nohup, or a
        // shell's background job).
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}

int register_pending(const std::string& path)
{
    if (path.size() >= kMaxPendingPath)
        return -1;
    for (int i = 0; i < kMaxPendingFiles; ++i) {
        if (!pending_used[i]) {
            std::memcpy(pending_path[i], path.c_str(), path.size() + 1);
            pending_used[i] = 1;
            return i;
        }
    }
    return -1;
}

void forget_pending(int slot)
{
    if (slot >= 0)
        pending_used[slot] = 0;
}

}  // namespace

InputFile::InputFile(const std::string& path)
{
    // Non-blocking, so that opening a FIFO returns at once; fstat then tells.
    handle = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (handle < 0 || fstat(handle, &st) != 0) {
        const int error = errno;
        if (handle >= 0)
            close(handle);
        throw HostError("cannot read " + path + ": " + std::strerror(error));
    }
    if (!S_ISREG(st.st_mode)) {
        close(handle);
        throw HostError("cannot read " + path + ": not a regular file");
    }
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) & ~O_NONBLOCK);
}

InputFile::~InputFile()
{
    close(handle);
}

OutputFile::OutputFile(const std::string& path) : final_path(path), temp_path(path + ".XXXXXX")
{
    install_cleanup_handlers();
    // Signals wait while the file is created and registered, so that no
    // handler runs between the two and misses it.
    sigset_t fatal, old;
    sigemptyset(&fatal);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&fatal, sig);
    sigprocmask(SIG_BLOCK, &fatal, &old);
    handle = mkstemp(&temp_path[0]);
    const int create_errno = errno;
    if (handle >= 0)
        slot = register_pending(temp_path);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (handle < 0)
        throw HostError("cannot write " + path + ": " + std::strerror(create_errno));
    // mkstemp creates the file private; give it the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(handle, 0666 & ~mask);
}

OutputFile::~OutputFile()
{
    if (handle >= 0)
        close(handle);
    if (!committed)
        unlink(temp_path.c_str());
    forget_pending(slot);
}

void OutputFile::write_all(const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(handle, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw HostError("cannot write " + final_path + ": " + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
}

void OutputFile::commit()
{
    if (close(handle) != 0) {
        handle = -1;
        throw HostError("cannot write " + final_path + ": " + std::strerror(errno));
    }
    handle = -1;
    if (std::rename(temp_path.c_str(), final_path.c_str()) != 0)
        throw HostError("cannot write " + final_path + ": " + std::strerror(errno));
    committed = true;
    forget_pending(slot);
    slot = -1;
}

}  // namespace vsthost
