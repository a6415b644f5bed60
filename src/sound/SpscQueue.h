#pragma once
// A fixed-size single-producer single-consumer queue of trivially copyable values: the one way
// commands and events cross between the audio thread and the rest. Never allocates after
// construction, never blocks; a full queue refuses the push and the producer counts the drop.

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace taktwerk::sound {

template <typename T, std::size_t Capacity>
class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "a power of two, so the indexes wrap with a mask");

public:
    // Producer thread only. False when full; the value is then not queued.
    bool push(const T& value) noexcept
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity)
            return false;
        slots_[tail & kMask] = value;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread only. False when empty.
    bool pop(T& value) noexcept
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return false;
        value = slots_[head & kMask];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    static constexpr std::size_t capacity() noexcept { return Capacity; }

private:
    static constexpr std::size_t kMask = Capacity - 1;
    // Apart, so producer and consumer do not fight over one cache line.
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
    std::array<T, Capacity> slots_{};
};

}  // namespace taktwerk::sound
