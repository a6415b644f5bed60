#pragma once
// A private JACK server for one test: `jackd --no-realtime --sync -d dummy` under a name of its
// own,
// so that tests running side by side (and anyone's real server) never meet. JACK clients of
// this process and its children reach it through JACK_DEFAULT_SERVER while it lives.
// Owned by the test; not thread-safe.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace taktwerk::devices::testing {

class JackDummyServer {
public:
    static constexpr std::uint32_t kSampleRate = 48000;
    // Not a divisor of the test's click spacings, so a cycle-quantised event would show.
    static constexpr std::uint32_t kPeriodFrames = 256;

    // True when jackd can be found on PATH; tests skip (with the reason) otherwise.
    static bool isInstalled();

    // Starts the server and waits (bounded) until a client can connect.
    explicit JackDummyServer(std::uint32_t sampleRate = kSampleRate,
                             std::uint32_t periodFrames = kPeriodFrames);
    ~JackDummyServer();  // stop()
    JackDummyServer(const JackDummyServer&) = delete;
    JackDummyServer& operator=(const JackDummyServer&) = delete;

    bool isReady() const { return ready_; }
    // Why the server is not ready, with jackd's own output.
    const std::string& failure() const { return failure_; }
    const std::string& name() const { return name_; }

    // SIGTERM, then SIGKILL when it does not end in time. Idempotent.
    void stop();

private:
    bool waitUntilReady();
    std::string readLog() const;

    std::string name_;
    std::string logPath_;
    std::optional<std::string> previousServerName_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string failure_;
};

}  // namespace taktwerk::devices::testing
