#include "base/stop_request.h"

#include <csignal>
#include <ctime>

namespace varnook {
namespace {

sigset_t TerminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

bool StopRequest::Requested() const noexcept
{
    if (requested_.load(std::memory_order_relaxed)) return true;
    if (outer_ && outer_->Requested()) return true;
    if (!signalsTaken_) return false;
    const sigset_t set = TerminationSignals();
    const timespec noWait{0, 0};
    if (::sigtimedwait(&set, nullptr, &noWait) > 0) requested_.store(true, std::memory_order_relaxed);
    return requested_.load(std::memory_order_relaxed);
}

void StopRequest::TakeTerminationSignals()
{
    const sigset_t set = TerminationSignals();
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0) signalsTaken_ = true;
}

}  // namespace varnook
