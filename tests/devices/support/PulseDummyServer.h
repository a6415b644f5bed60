#pragma once
// A private PulseAudio server for one test: `pulseaudio` with a null sink, listening on a socket
// of its own, so that RtAudio's PulseAudio output can be driven and then lose its server without
// a sound card and without meeting the desktop's server. Clients of this process find it through
// PULSE_SERVER while it lives. Owned by the test; not thread-safe.

#include <optional>
#include <string>
#include <sys/types.h>

namespace taktwerk::devices::testing {

class PulseDummyServer {
public:
    // True when pulseaudio can be found on PATH; tests skip (with the reason) otherwise.
    static bool isInstalled();

    // Starts the server and waits (bounded) until its socket takes connections.
    PulseDummyServer();
    ~PulseDummyServer();  // kill()
    PulseDummyServer(const PulseDummyServer&) = delete;
    PulseDummyServer& operator=(const PulseDummyServer&) = delete;

    bool isReady() const { return ready_; }
    // Why the server is not ready, with the server's own output.
    const std::string& failure() const { return failure_; }

    // Ends the server at once, as a crash would: its clients learn it only from refused writes.
    // Idempotent.
    void kill();

private:
    bool waitUntilReady();
    std::string readLog() const;

    std::string folder_;
    std::string socket_;
    std::optional<std::string> previousServer_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string failure_;
};

}  // namespace taktwerk::devices::testing
