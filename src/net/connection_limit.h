#pragma once

#include "base/guarded.h"

#include <cstddef>
#include <functional>
#include <memory>

namespace velmor::net {

// How many connections one listener keeps open at a time. Without a bound, a local flood
// of connections that never finish exhausts the process's file descriptors and with them
// every listener.
inline constexpr size_t kMaxConnectionsPerListener = 64;

// Counts the connections a listener holds open. Each admitted connection holds a Slot for
// as long as it is open. When every slot is taken, a newcomer may displace, if the listener
// allows it, a connection that has been answered and is only waiting to close, or else the
// one that has been waiting longest for its request: a flood of connections that trickle
// bytes then cannot keep a prompt client out. A connection marked busy (its request handed
// to bounded work, such as a worker pool with a ceiling and a queue) is never displaced and
// stops counting here, so that the work's own bound, not a closed connection, answers the
// client beyond it.
class ConnectionLimit {
    struct State;

public:
    class Slot {
    public:
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

        // How this connection is ended when a newcomer displaces it. Called from the
        // accepting thread; it must only schedule the close.
        void onDisplaced(std::function<void()> close);
        // The request is in hand and accepted for work: not displaced, and not counted,
        // while it is.
        void markBusy();
        // Answered: the first to give way from now on.
        void markFinished();

    private:
        friend class ConnectionLimit;
        enum class Standing { Waiting, Busy, Finished, Displaced };
        explicit Slot(std::shared_ptr<Guarded<State>> state) : state_(std::move(state)) {}
        void moveTo(State& state, Standing standing);
        std::shared_ptr<Guarded<State>> state_;
        // Both guarded by the state's lock.
        std::function<void()> close_;
        Standing standing_ = Standing::Waiting;
    };

    // `reclaimWhenFull`, when given, runs before a newcomer is judged against a full
    // listener: for owners that learn of ended connections only by looking, it is the
    // moment to hand back their slots.
    ConnectionLimit(size_t maxOpen, bool newcomersDisplaceWaiting, std::function<void()> reclaimWhenFull = {});

    // A slot for a new connection, or nothing when the listener is full (the caller then
    // closes the connection at once).
    std::unique_ptr<Slot> claim();
    size_t open() const;

private:
    // The connection to give way to a newcomer, or null when none may.
    Slot* displaceable(const State& state) const;

    const size_t maxOpen_;
    const bool newcomersDisplaceWaiting_;
    std::shared_ptr<Guarded<State>> state_;
    std::function<void()> reclaimWhenFull_;
};

}  // namespace velmor::net
