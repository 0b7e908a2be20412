#pragma once

#include <cstdint>

namespace corvane {

// Lets a long call be stopped from outside (Ctrl-C). A check is a function
// that throws when the running call must stop; the Python modules install
// one that runs the interpreter's signal handlers and throws what they
// raised. Without an installed check nothing is ever interrupted. The
// engine code that polls is exception-safe: a thrown check leaves each
// object as it was before the call.
using InterruptionCheck = void (*)();

// Installs the check of this module (one per extension module, at load).
void set_interruption_check(InterruptionCheck check);

// Placed in a loop whose length a caller controls: every few thousand steps
// it runs the installed check, so the cost per step is a count.
class InterruptionPoll {
public:
    void step() {
        if (++steps_ == kInterval) {
            steps_ = 0;
            check_now();
        }
    }
    static void check_now();

private:
    static constexpr std::uint32_t kInterval = 1u << 12;
    std::uint32_t steps_ = 0;
};

}  // namespace corvane
