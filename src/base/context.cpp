#include "base/context.h"

#include <cstdio>
#include <cstdlib>

namespace varnook {

Host& HostSlot::ReportTo(Host& target)
{
    if (ForwardsHere(target)) {
        std::fputs("varnook: a host that passes its calls on to the context's host slot was put into that "
                   "slot; a wrapper must wrap the slot's Target()\n",
                   stderr);
        std::abort();
    }
    Host& previous = *target_;
    target_ = &target;
    return previous;
}

WindowState HostSlot::ProgressWindowState() const
{
    if (probing_) {
        probeCameBack_ = true;
        return WindowState::Normal;
    }
    return target_->ProgressWindowState();
}

// Asks `host` the one question that changes nothing anywhere: a host that passes its calls on
// to this slot, directly or through other wrappers and slots, brings it back here.
bool HostSlot::ForwardsHere(const Host& host) const
{
    probing_ = true;
    probeCameBack_ = false;
    static_cast<void>(host.ProgressWindowState());
    probing_ = false;
    return probeCameBack_;
}

}  // namespace varnook
