// A request to stop processing, asked for from outside the running step: by SIGINT or SIGTERM in
// batch mode, or by the windows when the user closes the progress window during a run. Steps
// poll it as they go (the analysis, amplify and trim once a block, the waits for lame and for
// another Varnook run's folder lock as they wait); the run loop checks it before every file.
// Depends on nothing but the C++ and POSIX libraries.
#pragma once

#include <atomic>
#include <memory>
#include <utility>

namespace varnook {

class StopRequest {
public:
    StopRequest() = default;
    // A request of a part of the program (one run's files) that also holds when `outer` does: a
    // Request() here ends only that part, a stop of the whole program ends it as well, as soon
    // as a step looks.
    explicit StopRequest(std::shared_ptr<const StopRequest> outer) : outer_(std::move(outer)) {}

    // Asks for a stop. Safe from any thread; it only sets an atomic flag.
    void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }

    // True once a stop was asked for, by Request(), by a taken signal or through `outer`.
    bool Requested() const noexcept;

    // Batch mode: from now on SIGINT and SIGTERM are blocked and count as a stop request when
    // Requested() next looks. Blocking and collecting them (instead of a handler) needs no
    // process-wide variable for a handler to reach; child programs get the default mask back
    // (see StartChild). Call once, from the main thread, before any other thread exists.
    void TakeTerminationSignals();

private:
    mutable std::atomic<bool> requested_{false};
    bool signalsTaken_ = false;
    std::shared_ptr<const StopRequest> outer_;
    static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace varnook
