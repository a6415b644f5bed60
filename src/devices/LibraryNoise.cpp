#include "devices/LibraryNoise.h"

#include <alsa/asoundlib.h>
#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <fluidsynth.h>
#include <glib.h>

namespace taktwerk::devices {

namespace {

// The first message of each library is kept word for word, the rest only counted: the first is
// the cause, the others mostly its consequences.
struct Heard {
    const char* library;
    std::atomic<unsigned> count{0};
    std::atomic<int> state{0};  // 0 empty, 1 being written, 2 written
    std::array<char, 256> first{};
};

enum Library : std::size_t { kAlsa, kFluidSynth, kGlib, kLibraries };

// Static storage: the libraries' hooks are C function pointers with nowhere else to look.
std::array<Heard, kLibraries> heard{{{"ALSA"}, {"FluidSynth"}, {"GLib"}}};

void remember(Library library, const char* format, std::va_list arguments) noexcept
{
    Heard& entry = heard[library];
    entry.count.fetch_add(1, std::memory_order_relaxed);
    int empty = 0;
    if (!entry.state.compare_exchange_strong(empty, 1, std::memory_order_acquire))
        return;
    std::vsnprintf(entry.first.data(), entry.first.size(), format, arguments);
    entry.state.store(2, std::memory_order_release);
}

void rememberFormatted(Library library, const char* format, ...) noexcept
{
    std::va_list arguments;
    va_start(arguments, format);
    remember(library, format, arguments);
    va_end(arguments);
}

// Through a format of our own: the library's text may hold a "%".
void rememberText(Library library, const char* text) noexcept
{
    rememberFormatted(library, "%s", text != nullptr ? text : "");
}

extern "C" void onAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/,
                            int /*error*/, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    remember(kAlsa, format, arguments);
    va_end(arguments);
}

extern "C" void onFluidLog(int /*level*/, const char* message, void* /*data*/)
{
    rememberText(kFluidSynth, message);
}

extern "C" void onGlibLog(const gchar* domain, GLogLevelFlags level, const gchar* message,
                          gpointer /*data*/)
{
    // Debug and info messages are for the libraries' developers; GLib itself hides them.
    if ((level & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) != 0)
        return;
    (void)domain;  // the domain names a library the user has never heard of
    rememberText(kGlib, message);
}

// One line for the user: no line breaks, whatever the library put in.
std::string oneLine(const char* text)
{
    std::string line(text);
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

}  // namespace

void catchLibraryNoise()
{
    (void)snd_lib_error_set_handler(onAlsaError);  // fails only for a handler of wrong form
    for (const int level : {FLUID_PANIC, FLUID_ERR})
        fluid_set_log_function(level, onFluidLog, nullptr);
    g_log_set_default_handler(onGlibLog, nullptr);
}

std::vector<std::string> takeLibraryNoise()
{
    std::vector<std::string> lines;
    for (Heard& entry : heard) {
        const unsigned count = entry.count.exchange(0, std::memory_order_relaxed);
        if (count == 0 || entry.state.load(std::memory_order_acquire) != 2)
            continue;
        std::string line = std::string(entry.library) + ": " + oneLine(entry.first.data());
        if (count > 1)
            line += " (and " + std::to_string(count - 1) + " more messages)";
        lines.push_back(std::move(line));
        entry.state.store(0, std::memory_order_release);
    }
    return lines;
}

}  // namespace taktwerk::devices
