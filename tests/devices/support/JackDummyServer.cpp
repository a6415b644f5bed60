#include "devices/support/JackDummyServer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <jack/jack.h>
#include <signal.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace taktwerk::devices::testing {

namespace {

// A loaded build machine may take a while to start a server; a broken one must not hang the
// test run.
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr auto kRetryPause = std::chrono::milliseconds(20);

std::string uniqueServerName()
{
    static std::atomic<int> counter{0};
    return "taktwerk-test-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// libjack reports every refused connection attempt; while waiting for the server to come up
// those are expected.
class QuietJack {
public:
    QuietJack() : previous_(jack_error_callback)
    {
        jack_set_error_function([](const char*) {});
    }
    ~QuietJack() { jack_set_error_function(previous_); }
    QuietJack(const QuietJack&) = delete;
    QuietJack& operator=(const QuietJack&) = delete;

private:
    void (*previous_)(const char*);
};

}  // namespace

bool JackDummyServer::isInstalled()
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/jackd").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

JackDummyServer::JackDummyServer(std::uint32_t sampleRate, std::uint32_t periodFrames)
    : name_(uniqueServerName())
{
    if (const char* previous = std::getenv("JACK_DEFAULT_SERVER"))
        previousServerName_ = previous;
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);

    logPath_ = (std::filesystem::temp_directory_path() / (name_ + ".log")).string();
    // Synchronous mode: every client runs in every cycle, even when this shared machine wakes
    // the server late, so frame times stay exact across clients; without it a late cycle may
    // skip a client and shift one recording against another.
    // A generous client timeout: jackd's default is two periods (11 ms here), and a client's
    // activation waits ten of them for the next cycle, which a loaded machine running sanitized
    // clients can miss; jack_activate then fails and the test with it.
    std::vector<std::string> args{"jackd",
                                  "--name",
                                  name_,
                                  "--no-realtime",
                                  "--sync",
                                  "--timeout",
                                  "2000",
                                  "-d",
                                  "dummy",
                                  "-r",
                                  std::to_string(sampleRate),
                                  "-p",
                                  std::to_string(periodFrames)};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int log = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // A test that dies without its destructor (a crash, a sanitizer abort, a closed pipe)
        // must not leave its server behind: JACK allows only a few at once, and orphans would
        // fail every later JACK test on the machine.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        ::execvp("jackd", argv.data());
        ::_exit(127);
    }
    if (log >= 0)
        ::close(log);
    const int spawned = pid_ < 0 ? errno : 0;
    if (spawned != 0) {
        pid_ = -1;
        failure_ = "jackd could not be started (error " + std::to_string(spawned) + ")";
        return;
    }
    ready_ = waitUntilReady();
}

JackDummyServer::~JackDummyServer()
{
    stop();
    std::error_code ignored;  // a leftover log in the temp folder harms nobody
    std::filesystem::remove(logPath_, ignored);
    // jackd leaves a semaphore in /dev/shm for each client that was connected when it went away
    // (the device-loss tests stop it under its clients); test runs must not pile them up.
    const std::string mark = "_" + name_ + "_";
    for (std::filesystem::directory_iterator entry("/dev/shm", ignored), end;
         !ignored && entry != end; entry.increment(ignored)) {
        const std::string file = entry->path().filename().string();
        std::error_code notRemoved;  // another run's cleanup may have been first
        if (file.starts_with("jack_sem.") && file.find(mark) != std::string::npos)
            std::filesystem::remove(entry->path(), notRemoved);
    }
    if (previousServerName_)
        ::setenv("JACK_DEFAULT_SERVER", previousServerName_->c_str(), 1);
    else
        ::unsetenv("JACK_DEFAULT_SERVER");
}

bool JackDummyServer::waitUntilReady()
{
    const QuietJack quiet;
    const auto giveUp = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "jackd ended at start:\n" + readLog();
            return false;
        }
        jack_status_t jackStatus{};
        jack_client_t* probe = jack_client_open(
            "probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &jackStatus,
            name_.c_str());
        if (probe) {
            jack_client_close(probe);
            return true;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    failure_ = "jackd did not accept clients in time:\n" + readLog();
    return false;
}

void JackDummyServer::stop()
{
    ready_ = false;
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto giveUp = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string JackDummyServer::readLog() const
{
    std::ifstream log(logPath_);
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
}

}  // namespace taktwerk::devices::testing
