// The real-time guard's shim (see RealtimeGuard.h), preloaded into the guard test. It defines
// the C library's allocator functions, the replaceable operators new and delete and pthread's
// mutex and rwlock locks, so that every call in the process reaches it first, including those
// that C libraries make inside themselves. Each one checks whether its thread is armed, then
// hands over to the real function: glibc's allocator through its __libc_* entry points (no
// lookup needed, so nothing runs before the allocator works), the locks through dlsym.
//
// Nothing here may allocate or lock on the way to the real function, or the shim would call
// itself; the armed flag is a thread-local of the initial-exec model for the same reason (the
// default model may allocate a thread's block on its first access).

#include "realtime/RealtimeGuard.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <new>
#include <pthread.h>

extern "C" {
// glibc's own allocator, exported for exactly this: a replacement that forwards to it.
void* __libc_malloc(std::size_t size);
void __libc_free(void* memory);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace {

// Enough to show where the audio path went wrong; the count says how often.
constexpr unsigned long kRecordCount = 8;
constexpr int kStackDepth = 32;

struct Record {
    const char* call = nullptr;
    std::size_t size = 0;
    int depth = 0;
    void* stack[kStackDepth] = {};
};

__thread int armed __attribute__((tls_model("initial-exec"))) = 0;
// Set while a violation is being recorded: backtrace() must not count itself.
__thread int recording __attribute__((tls_model("initial-exec"))) = 0;

std::atomic<unsigned long> violationCount{0};
Record records[kRecordCount];

void check(const char* call, std::size_t size) noexcept
{
    if (armed == 0 || recording != 0)
        return;
    recording = 1;
    const unsigned long index = violationCount.fetch_add(1, std::memory_order_relaxed);
    if (index < kRecordCount) {
        Record& record = records[index];
        record.call = call;
        record.size = size;
        record.depth = backtrace(record.stack, kStackDepth);
    }
    recording = 0;
}

// backtrace() loads the unwinder (and allocates) on its first call; that happens here, at load
// time, rather than on the first armed thread.
__attribute__((constructor)) void loadUnwinder()
{
    void* stack[2];
    (void)backtrace(stack, 2);
}

// The next definition of `name` after this shim: pthread's own. Resolved on first use; a race
// between two threads only resolves it twice.
template <typename Function>
Function next(std::atomic<Function>& slot, const char* name) noexcept
{
    Function function = slot.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
        slot.store(function, std::memory_order_release);
    }
    return function;
}

void* alignedOrNull(std::size_t alignment, std::size_t size) noexcept
{
    return __libc_memalign(alignment, size == 0 ? 1 : size);
}

void* newOrThrow(std::size_t size, std::size_t alignment)
{
    for (;;) {
        void* memory =
            alignment == 0 ? __libc_malloc(size == 0 ? 1 : size) : alignedOrNull(alignment, size);
        if (memory != nullptr)
            return memory;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            throw std::bad_alloc();
        handler();
    }
}

void deleteChecked(void* memory) noexcept
{
    // Deleting null frees nothing, and the language makes it a no-op.
    if (memory == nullptr)
        return;
    check("operator delete", 0);
    __libc_free(memory);
}

// Appends to a report of limited size, counting what did not fit.
class Text {
public:
    Text(char* text, std::size_t capacity) : text_(text), capacity_(capacity)
    {
        if (capacity_ > 0)
            text_[0] = '\0';
    }
    void add(const char* part)
    {
        const std::size_t length = std::strlen(part);
        if (length_ + 1 < capacity_) {
            const std::size_t room = capacity_ - length_ - 1;
            const std::size_t copied = length < room ? length : room;
            std::memcpy(text_ + length_, part, copied);
            text_[length_ + copied] = '\0';
        }
        length_ += length;
    }
    std::size_t length() const { return length_; }

private:
    char* text_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

void describeFrame(Text& text, void* address)
{
    char line[512];
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        std::snprintf(line, sizeof line, "    %p\n", address);
        text.add(line);
        return;
    }
    const char* file = std::strrchr(info.dli_fname, '/');
    file = file != nullptr ? file + 1 : info.dli_fname;
    if (info.dli_sname == nullptr) {
        const auto offset = reinterpret_cast<std::uintptr_t>(address) -
                            reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        std::snprintf(line, sizeof line, "    %s+0x%zx\n", file, static_cast<std::size_t>(offset));
        text.add(line);
        return;
    }
    int status = 0;
    char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    std::snprintf(line, sizeof line, "    %s (%s)\n",
                  status == 0 && demangled != nullptr ? demangled : info.dli_sname, file);
    std::free(demangled);
    text.add(line);
}

}  // namespace

// ---------------------------------------------------------------- the interface

extern "C" {

void taktwerk_guard_arm(void) { armed = 1; }

void taktwerk_guard_disarm(void) { armed = 0; }

unsigned long taktwerk_guard_violations(void)
{
    return violationCount.load(std::memory_order_acquire);
}

void taktwerk_guard_reset(void)
{
    violationCount.store(0, std::memory_order_release);
    for (Record& record : records)
        record = Record{};
}

std::size_t taktwerk_guard_report(char* output, std::size_t capacity)
{
    Text text(output, capacity);
    const unsigned long count = violationCount.load(std::memory_order_acquire);
    const unsigned long shown = count < kRecordCount ? count : kRecordCount;
    char line[160];
    std::snprintf(line, sizeof line, "%lu allocation(s), free(s) or lock(s) on an armed thread%s\n",
                  count, count > shown ? "; the first ones:" : ":");
    text.add(line);
    for (unsigned long index = 0; index < shown; ++index) {
        const Record& record = records[index];
        std::snprintf(line, sizeof line, "  %s", record.call != nullptr ? record.call : "?");
        text.add(line);
        if (record.size > 0) {
            std::snprintf(line, sizeof line, " of %zu bytes", record.size);
            text.add(line);
        }
        text.add(", called from\n");
        // The first frames are the shim's own.
        for (int frame = 2; frame < record.depth; ++frame)
            describeFrame(text, record.stack[frame]);
    }
    return text.length();
}

// ---------------------------------------------------------------- the C allocator

void* malloc(std::size_t size)
{
    check("malloc", size);
    return __libc_malloc(size);
}

void free(void* memory)
{
    // free(NULL) frees nothing; libraries call it freely on their empty paths.
    if (memory != nullptr)
        check("free", 0);
    __libc_free(memory);
}

void* calloc(std::size_t count, std::size_t size)
{
    check("calloc", count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* memory, std::size_t size)
{
    check("realloc", size);
    return __libc_realloc(memory, size);
}

void* reallocarray(void* memory, std::size_t count, std::size_t size)
{
    check("reallocarray", count * size);
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(memory, count * size);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    check("memalign", size);
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    check("aligned_alloc", size);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** memory, std::size_t alignment, std::size_t size)
{
    check("posix_memalign", size);
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0)
        return EINVAL;
    void* aligned = __libc_memalign(alignment, size);
    if (aligned == nullptr)
        return ENOMEM;
    *memory = aligned;
    return 0;
}

void* valloc(std::size_t size)
{
    check("valloc", size);
    return __libc_valloc(size);
}

void* pvalloc(std::size_t size)
{
    check("pvalloc", size);
    return __libc_pvalloc(size);
}

// ---------------------------------------------------------------- locks

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    static std::atomic<int (*)(pthread_mutex_t*)> real{nullptr};
    check("pthread_mutex_lock", 0);
    return next(real, "pthread_mutex_lock")(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    static std::atomic<int (*)(pthread_mutex_t*)> real{nullptr};
    check("pthread_mutex_trylock", 0);
    return next(real, "pthread_mutex_trylock")(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t* mutex, const struct timespec* until)
{
    static std::atomic<int (*)(pthread_mutex_t*, const struct timespec*)> real{nullptr};
    check("pthread_mutex_timedlock", 0);
    return next(real, "pthread_mutex_timedlock")(mutex, until);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    static std::atomic<int (*)(pthread_rwlock_t*)> real{nullptr};
    check("pthread_rwlock_rdlock", 0);
    return next(real, "pthread_rwlock_rdlock")(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    static std::atomic<int (*)(pthread_rwlock_t*)> real{nullptr};
    check("pthread_rwlock_wrlock", 0);
    return next(real, "pthread_rwlock_wrlock")(lock);
}

int pthread_rwlock_tryrdlock(pthread_rwlock_t* lock)
{
    static std::atomic<int (*)(pthread_rwlock_t*)> real{nullptr};
    check("pthread_rwlock_tryrdlock", 0);
    return next(real, "pthread_rwlock_tryrdlock")(lock);
}

int pthread_rwlock_trywrlock(pthread_rwlock_t* lock)
{
    static std::atomic<int (*)(pthread_rwlock_t*)> real{nullptr};
    check("pthread_rwlock_trywrlock", 0);
    return next(real, "pthread_rwlock_trywrlock")(lock);
}

}  // extern "C"

// ---------------------------------------------------------------- operators new and delete

void* operator new(std::size_t size)
{
    check("operator new", size);
    return newOrThrow(size, 0);
}

void* operator new[](std::size_t size)
{
    check("operator new[]", size);
    return newOrThrow(size, 0);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
    check("operator new", size);
    return newOrThrow(size, static_cast<std::size_t>(alignment));
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    check("operator new[]", size);
    return newOrThrow(size, static_cast<std::size_t>(alignment));
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    check("operator new", size);
    return __libc_malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    check("operator new[]", size);
    return __libc_malloc(size == 0 ? 1 : size);
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    check("operator new", size);
    return alignedOrNull(static_cast<std::size_t>(alignment), size);
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    check("operator new[]", size);
    return alignedOrNull(static_cast<std::size_t>(alignment), size);
}

void operator delete(void* memory) noexcept { deleteChecked(memory); }
void operator delete[](void* memory) noexcept { deleteChecked(memory); }
void operator delete(void* memory, std::size_t) noexcept { deleteChecked(memory); }
void operator delete[](void* memory, std::size_t) noexcept { deleteChecked(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { deleteChecked(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { deleteChecked(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept
{
    deleteChecked(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept
{
    deleteChecked(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept { deleteChecked(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { deleteChecked(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    deleteChecked(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    deleteChecked(memory);
}
