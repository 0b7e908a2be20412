#include "engine/core/interruption.hpp"

namespace corvane {
namespace {

InterruptionCheck installed_check = nullptr;

}  // namespace

void set_interruption_check(InterruptionCheck check) { installed_check = check; }

void InterruptionPoll::check_now() {
    if (installed_check != nullptr) installed_check();
}

}  // namespace corvane
