// The cost floor of live playback: the least a JACK client can do and still sound like a drum
// machine at 120 BPM, one click on every step (four a beat), and nothing else. The cost
// benchmark (bench/measure-cost) sets taktwerk's CPU time against this client's.
//
//   bench_minimal_click [--seconds S]   play S seconds (default: until SIGINT or SIGTERM)
//   bench_minimal_click --probe         wait until the server takes clients, then end
//
// The server is the one JACK_DEFAULT_SERVER names. Plain C++ against libjack on purpose: no
// code of ours, so the figure is what JACK itself asks of any client.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <jack/jack.h>
#include <string>
#include <thread>

namespace {

constexpr std::uint64_t kTempoBpm = 120;
constexpr std::uint64_t kStepsPerBeat = 4;
// A click of a millisecond and a half at 44.1 kHz, loud enough to see in a recording.
constexpr std::uint32_t kClickFrames = 64;
constexpr float kClickLevel = 0.5f;
// How long a server that is just starting may take to accept clients.
constexpr auto kConnectTimeout = std::chrono::seconds(15);
constexpr auto kRetryPause = std::chrono::milliseconds(50);

struct Client {
    jack_port_t* left = nullptr;
    jack_port_t* right = nullptr;
    std::uint64_t sampleRate = 44100;
    std::uint64_t played = 0;     // frames written since activation
    std::uint64_t nextStep = 0;   // the step whose click comes next
    std::uint32_t clickLeft = 0;  // frames of the current click still to write
    std::uint64_t clicks = 0;
};

// Step n's frame, rounded to the nearest: at 44.1 kHz a step lasts 5512.5 frames.
std::uint64_t stepFrame(std::uint64_t step, std::uint64_t sampleRate)
{
    const std::uint64_t perMinute = kTempoBpm * kStepsPerBeat;
    return (2 * step * 60 * sampleRate + perMinute) / (2 * perMinute);
}

// Writes what is left of the current click from `from` on; returns where it stopped.
jack_nframes_t writeClick(Client& client, float* out, jack_nframes_t from, jack_nframes_t frames)
{
    for (; client.clickLeft > 0 && from < frames; ++from, --client.clickLeft)
        out[from] = kClickLevel * static_cast<float>(client.clickLeft) / kClickFrames;
    return from;
}

int process(jack_nframes_t frames, void* argument)
{
    auto& client = *static_cast<Client*>(argument);
    auto* left = static_cast<float*>(jack_port_get_buffer(client.left, frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(client.right, frames));
    std::fill_n(left, frames, 0.0f);
    writeClick(client, left, 0, frames);  // a click begun in the cycle before
    for (std::uint64_t due = stepFrame(client.nextStep, client.sampleRate);
         due < client.played + frames; due = stepFrame(++client.nextStep, client.sampleRate)) {
        client.clickLeft = kClickFrames;
        ++client.clicks;
        writeClick(client, left, static_cast<jack_nframes_t>(due - client.played), frames);
    }
    std::copy_n(left, frames, right);
    client.played += frames;
    return 0;
}

jack_client_t* connect()
{
    const auto giveUp = std::chrono::steady_clock::now() + kConnectTimeout;
    jack_set_error_function([](const char*) {});  // refusals are expected while it starts
    for (;;) {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open("minimal-click", JackNoStartServer, &status))
            return client;
        if (std::chrono::steady_clock::now() >= giveUp)
            return nullptr;
        std::this_thread::sleep_for(kRetryPause);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    bool probe = false;
    double seconds = 0.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--probe") == 0) {
            probe = true;
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_minimal_click [--seconds S | --probe]\n");
            return 2;
        }
    }
    // Blocked before JACK starts its threads, so that only the main thread takes the signals,
    // waiting for them asleep.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    jack_client_t* jack = connect();
    if (jack == nullptr) {
        std::fprintf(stderr, "bench_minimal_click: no JACK server to connect to\n");
        return 1;
    }
    if (probe) {
        jack_client_close(jack);
        return 0;
    }
    Client client;
    client.sampleRate = jack_get_sample_rate(jack);
    client.left =
        jack_port_register(jack, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    client.right =
        jack_port_register(jack, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (client.left == nullptr || client.right == nullptr ||
        jack_set_process_callback(jack, process, &client) != 0 || jack_activate(jack) != 0) {
        std::fprintf(stderr, "bench_minimal_click: JACK refused the client's ports\n");
        jack_client_close(jack);
        return 1;
    }
    // Heard where taktwerk is heard: the first two playback ports.
    if (const char** ports = jack_get_ports(jack, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsPhysical | JackPortIsInput)) {
        if (ports[0] != nullptr)
            (void)jack_connect(jack, jack_port_name(client.left), ports[0]);
        if (ports[0] != nullptr && ports[1] != nullptr)
            (void)jack_connect(jack, jack_port_name(client.right), ports[1]);
        jack_free(ports);
    }

    if (seconds > 0.0) {
        const auto whole = static_cast<std::time_t>(seconds);
        const timespec timeout{whole,
                               static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
        (void)sigtimedwait(&stopSignals, nullptr, &timeout);
    } else {
        int signal = 0;
        (void)sigwait(&stopSignals, &signal);
    }
    jack_deactivate(jack);
    jack_client_close(jack);
    std::printf("bench_minimal_click: %llu clicks\n",
                static_cast<unsigned long long>(client.clicks));
    return 0;
}
