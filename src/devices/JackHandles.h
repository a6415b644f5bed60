#pragma once
// RAII for libjack's handles, shared by the JACK output and the port lists. Control thread.

#include <jack/jack.h>
#include <memory>

namespace taktwerk::devices {

struct JackClientCloser {
    void operator()(jack_client_t* client) const noexcept { jack_client_close(client); }
};
using JackClientHandle = std::unique_ptr<jack_client_t, JackClientCloser>;

struct JackPortListFree {
    void operator()(const char** names) const noexcept { jack_free(static_cast<void*>(names)); }
};
using JackPortList = std::unique_ptr<const char*[], JackPortListFree>;

// libjack prints why it cannot reach a server. Without JACK that is the normal case, which the
// caller reports once in its own words, so libjack stays quiet while this lives.
class QuietJackErrors {
public:
    QuietJackErrors() : previous_(jack_error_callback)
    {
        jack_set_error_function([](const char*) {});
    }
    ~QuietJackErrors() { jack_set_error_function(previous_); }
    QuietJackErrors(const QuietJackErrors&) = delete;
    QuietJackErrors& operator=(const QuietJackErrors&) = delete;

private:
    void (*previous_)(const char*);
};

}  // namespace taktwerk::devices
