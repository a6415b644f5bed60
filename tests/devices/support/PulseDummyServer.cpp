#include "devices/support/PulseDummyServer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace taktwerk::devices::testing {

namespace {

// A loaded build machine may take a while to start a server; a broken one must not hang the
// test run.
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kRetryPause = std::chrono::milliseconds(20);

bool accepts(const std::string& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

bool PulseDummyServer::isInstalled()
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/pulseaudio").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

PulseDummyServer::PulseDummyServer()
{
    static std::atomic<int> counter{0};
    folder_ =
        (std::filesystem::temp_directory_path() / ("taktwerk-pulse-" + std::to_string(::getpid()) +
                                                   "-" + std::to_string(counter.fetch_add(1))))
            .string();
    std::filesystem::create_directories(folder_ + "/home");
    std::filesystem::create_directories(folder_ + "/run");
    socket_ = folder_ + "/socket";
    if (const char* previous = std::getenv("PULSE_SERVER"))
        previousServer_ = previous;
    ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);

    // No configuration file, no session bus, no sound card: one null sink and one socket,
    // open to any client.
    std::vector<std::string> args{"pulseaudio",
                                  "-n",
                                  "--daemonize=no",
                                  "--exit-idle-time=-1",
                                  "--disable-shm=yes",
                                  "--use-pid-file=no",
                                  "-F",
                                  "/dev/null",
                                  "--load=module-null-sink",
                                  "--load=module-native-protocol-unix socket=" + socket_ +
                                      " auth-anonymous=1"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string home = folder_ + "/home";
    const std::string runtime = folder_ + "/run";
    const int log =
        ::open((folder_ + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // A test that dies without its destructor must not leave its server behind.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ::unsetenv("PULSE_SERVER");
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        ::execvp("pulseaudio", argv.data());
        ::_exit(127);
    }
    if (log >= 0)
        ::close(log);
    if (pid_ < 0) {
        failure_ = "pulseaudio could not be started (error " + std::to_string(errno) + ")";
        pid_ = -1;
        return;
    }
    ready_ = waitUntilReady();
}

PulseDummyServer::~PulseDummyServer()
{
    kill();
    std::error_code ignored;  // leftovers in the temp folder harm nobody
    std::filesystem::remove_all(folder_, ignored);
    if (previousServer_)
        ::setenv("PULSE_SERVER", previousServer_->c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}

bool PulseDummyServer::waitUntilReady()
{
    const auto giveUp = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "pulseaudio ended at start:\n" + readLog();
            return false;
        }
        if (accepts(socket_))
            return true;
        std::this_thread::sleep_for(kRetryPause);
    }
    failure_ = "pulseaudio did not accept clients in time:\n" + readLog();
    return false;
}

void PulseDummyServer::kill()
{
    ready_ = false;
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string PulseDummyServer::readLog() const
{
    std::ifstream log(folder_ + "/log");
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
}

}  // namespace taktwerk::devices::testing
