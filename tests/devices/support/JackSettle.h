#pragma once
// When a test's sender may begin after connecting: a connection made just now reaches the
// server's graph only at a cycle boundary of the server's choosing, and a message written in a
// cycle still run on the old graph goes nowhere (a lost Start leaves a follower waiting for the
// whole run). Four cycles later the new graph surely runs. Any thread but the process thread.

#include <cstdint>
#include <jack/jack.h>

namespace taktwerk::devices::testing {

inline std::uint64_t settledFrame(jack_client_t* client)
{
    constexpr std::uint64_t kSettleCycles = 4;
    return jack_frame_time(client) + kSettleCycles * jack_get_buffer_size(client);
}

}  // namespace taktwerk::devices::testing
