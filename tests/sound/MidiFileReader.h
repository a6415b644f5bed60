#pragma once
// A strict reader of what a type-0 Standard MIDI File of ours may hold, for tests: any
// malformation throws.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace taktwerk::testing {

struct ReadEvent {
    std::uint64_t tick;
    std::vector<std::uint8_t> bytes;
};
struct ReadFile {
    int format = -1;
    int tracks = 0;
    int division = 0;
    std::vector<ReadEvent> events;
};

inline ReadFile readMidiFile(const std::string& data)
{
    ReadFile file;
    std::size_t at = 0;
    const auto byte = [&]() -> std::uint8_t {
        if (at >= data.size())
            throw std::runtime_error("past the end");
        return static_cast<std::uint8_t>(data[at++]);
    };
    const auto number = [&](int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | byte();
        return value;
    };
    const auto variable = [&] {
        std::uint64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = byte();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0)
                return value;
        }
        throw std::runtime_error("variable-length number too long");
    };
    if (data.substr(0, 4) != "MThd")
        throw std::runtime_error("no header");
    at = 4;
    if (number(4) != 6)
        throw std::runtime_error("header length");
    file.format = static_cast<int>(number(2));
    file.tracks = static_cast<int>(number(2));
    file.division = static_cast<int>(number(2));
    if (data.substr(at, 4) != "MTrk")
        throw std::runtime_error("no track");
    at += 4;
    // Read apart: in `at + number(4)` the order of the two is unspecified, and number() moves
    // `at` (Clang reads it after, GCC before).
    const std::uint32_t trackLength = number(4);
    const std::size_t end = at + trackLength;
    if (end != data.size())
        throw std::runtime_error("track length");
    std::uint64_t tick = 0;
    while (at < end) {
        tick += variable();
        ReadEvent event{tick, {byte()}};
        if (event.bytes[0] == 0xFF) {
            event.bytes.push_back(byte());
            const std::uint64_t length = variable();
            if (length > 127)
                throw std::runtime_error("no meta event of ours is that long");
            event.bytes.push_back(static_cast<std::uint8_t>(length));
            for (std::uint64_t i = 0; i < length; ++i)
                event.bytes.push_back(byte());
        } else if ((event.bytes[0] & 0xE0u) == 0x80u) {  // note-off, note-on
            event.bytes.push_back(byte());
            event.bytes.push_back(byte());
        } else {
            throw std::runtime_error("unexpected status");
        }
        file.events.push_back(event);
    }
    return file;
}

}  // namespace taktwerk::testing
