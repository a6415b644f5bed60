#pragma once
// SpscQueue: the one lock-free queue of the program. One thread pushes, one other thread pops;
// neither ever waits. Used for commands to the audio thread and for objects it hands back to be
// freed. Owned by whoever owns both ends (the engine).

#include <array>
#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>

namespace taktwerk::sound {

template <typename T, std::size_t N>
class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values cross threads");
    static_assert(N >= 2 && (N & (N - 1)) == 0, "capacity must be a power of two");

public:
    // Producer thread. False when the queue is full: the caller counts the drop, never waits.
    bool push(const T& value) noexcept
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) == N)
            return false;
        slots_[head & (N - 1)] = value;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread. False when there is nothing to take.
    bool pop(T& value) noexcept
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (head_.load(std::memory_order_acquire) == tail)
            return false;
        value = slots_[tail & (N - 1)];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Either thread; only a snapshot.
    bool empty() const noexcept
    {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

    static constexpr std::size_t capacity() noexcept { return N; }

private:
    // The two counters on their own cache lines, so producer and consumer don't fight over one.
    static constexpr std::size_t kCacheLine = 64;
    alignas(kCacheLine) std::atomic<std::size_t> head_{0};  // written by the producer only
    alignas(kCacheLine) std::atomic<std::size_t> tail_{0};  // written by the consumer only
    alignas(kCacheLine) std::array<T, N> slots_{};
};

}  // namespace taktwerk::sound
