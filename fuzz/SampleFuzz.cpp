// The sample loader on arbitrary ".wav" files: a broken, truncated or absurd file (a header
// claiming hours of audio, an odd rate, NaNs in a float file) gives a silent voice or a sample
// the mixer can play as it is; never a crash, a hang or gigabytes of memory.
// Input: one byte choosing the output rate, then the file's bytes.

#include "FuzzCheck.h"
#include "sound/Sample.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The loader takes a path; an in-memory file keeps the disk out of the loop.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("taktwerk-fuzz.wav", MFD_CLOEXEC)) {}
    ~MemoryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool fill(const std::uint8_t* data, std::size_t size)
    {
        if (fd_ < 0 || ::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
            return false;
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written <= 0)
                return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace taktwerk::sound;
    if (size == 0)
        return 0;
    // The rates an output really runs at.
    constexpr std::array<double, 4> kOutputRates{44100.0, 48000.0, 96000.0, 22050.0};
    const double outputRate = kOutputRates[data[0] % kOutputRates.size()];

    static MemoryFile file;
    if (!file.fill(data + 1, size - 1))
        return 0;
    const auto sample = loadSample(file.path(), outputRate);
    if (!sample)
        return 0;  // a silent voice
    FUZZ_CHECK(!sample->data.empty() && sample->data.size() % 2 == 0);
    // The converter may add a few frames of its filter's tail to the longest cut.
    FUZZ_CHECK(static_cast<double>(sample->frames()) <= kMaxSampleSeconds * outputRate + 1024.0);
    for (const float value : sample->data)
        FUZZ_CHECK(std::isfinite(value) && value >= -1.0f && value <= 1.0f);
    return 0;
}
