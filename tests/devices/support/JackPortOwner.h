#pragma once
// A JACK client of another program that owns one MIDI port under a name the test chooses (a
// synth's input, a controller's output), and can take the port away and bring it back, as a
// restarted program or a replugged device does. Owned by the test; control thread only.

#include <jack/jack.h>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

class JackPortOwner {
public:
    enum class Direction { Input, Output };

    JackPortOwner(const std::string& clientName, const std::string& portName, Direction direction);
    ~JackPortOwner();
    JackPortOwner(const JackPortOwner&) = delete;
    JackPortOwner& operator=(const JackPortOwner&) = delete;

    bool isReady() const { return client_ != nullptr && port_ != nullptr; }
    // "client:port", as the server names it (it may rename a client whose name is taken).
    std::string fullName() const;
    // The port's peers, as the server sees them.
    std::vector<std::string> connections() const;

    // As a patchbay would: `peer` to this port, or this port to `peer`.
    bool connect(const std::string& peer);
    // As a patchbay would: the port's every connection goes.
    void disconnect();
    void removePort();
    bool addPort();

private:
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::string portName_;
    Direction direction_;
};

}  // namespace taktwerk::devices::testing
