#include "realtime/RealtimeGuard.h"

#include <dlfcn.h>
#include <vector>

namespace taktwerk::testing {

namespace {

template <typename Function>
bool lookUp(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(::dlsym(RTLD_DEFAULT, name));
    return function != nullptr;
}

}  // namespace

const RealtimeGuard* RealtimeGuard::find()
{
    static const RealtimeGuard* const found = [] {
        static RealtimeGuard guard;
        const bool complete = lookUp(guard.arm_, "taktwerk_guard_arm") &&
                              lookUp(guard.disarm_, "taktwerk_guard_disarm") &&
                              lookUp(guard.violations_, "taktwerk_guard_violations") &&
                              lookUp(guard.reset_, "taktwerk_guard_reset") &&
                              lookUp(guard.report_, "taktwerk_guard_report");
        return complete ? &guard : nullptr;
    }();
    return found;
}

std::string RealtimeGuard::report() const
{
    std::vector<char> text(report_(nullptr, 0) + 1);
    report_(text.data(), text.size());
    return text.data();
}

}  // namespace taktwerk::testing
