#include "devices/support/JackPortOwner.h"

namespace taktwerk::devices::testing {

JackPortOwner::JackPortOwner(const std::string& clientName, const std::string& portName,
                             Direction direction)
    : portName_(portName), direction_(direction)
{
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_)
        return;
    // Every real program has one: without it, a client feeding ours would hold up every cycle of
    // the graph until the server's timeout.
    const auto quiet = [](jack_nframes_t, void*) noexcept { return 0; };
    if (!addPort() || jack_set_process_callback(client_, quiet, nullptr) != 0 ||
        jack_activate(client_) != 0)
        removePort();
}

JackPortOwner::~JackPortOwner()
{
    if (client_)
        jack_client_close(client_);
}

std::string JackPortOwner::fullName() const { return port_ ? jack_port_name(port_) : ""; }

std::vector<std::string> JackPortOwner::connections() const
{
    std::vector<std::string> names;
    if (!port_)
        return names;
    const char** peers = jack_port_get_all_connections(client_, port_);
    for (const char** name = peers; name && *name; ++name)
        names.emplace_back(*name);
    jack_free(static_cast<void*>(peers));
    return names;
}

bool JackPortOwner::connect(const std::string& peer)
{
    const std::string mine = fullName();
    const bool input = direction_ == Direction::Input;
    return port_ &&
           jack_connect(client_, (input ? peer : mine).c_str(), (input ? mine : peer).c_str()) == 0;
}

void JackPortOwner::disconnect()
{
    for (const std::string& peer : connections()) {
        const std::string mine = fullName();
        const bool input = direction_ == Direction::Input;
        (void)jack_disconnect(client_, (input ? peer : mine).c_str(),
                              (input ? mine : peer).c_str());
    }
}

void JackPortOwner::removePort()
{
    if (client_ && port_)
        (void)jack_port_unregister(client_, port_);
    port_ = nullptr;
}

bool JackPortOwner::addPort()
{
    if (!client_)
        return false;
    port_ =
        jack_port_register(client_, portName_.c_str(), JACK_DEFAULT_MIDI_TYPE,
                           direction_ == Direction::Input ? JackPortIsInput : JackPortIsOutput, 0);
    return port_ != nullptr;
}

}  // namespace taktwerk::devices::testing
