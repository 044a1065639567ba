#include "net/connection_limit.h"

#include <list>
#include <mutex>

namespace velmor::net {

struct ConnectionLimit::State {
    std::mutex mutex;
    const size_t maxOpen;
    const bool displaceWaiting;
    size_t open = 0;
    std::list<Slot*> waiting;  // oldest first

    State(size_t maxOpen, bool displaceWaiting) : maxOpen(maxOpen), displaceWaiting(displaceWaiting) {}
};

ConnectionLimit::ConnectionLimit(size_t maxOpen, bool newcomersDisplaceWaiting, std::function<void()> reclaimWhenFull)
    : state_(std::make_shared<State>(maxOpen, newcomersDisplaceWaiting)), reclaimWhenFull_(std::move(reclaimWhenFull)) {}

std::unique_ptr<ConnectionLimit::Slot> ConnectionLimit::claim() {
    if (reclaimWhenFull_ && open() >= state_->maxOpen) reclaimWhenFull_();
    std::function<void()> closeDisplaced;
    std::unique_ptr<Slot> slot;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->open >= state_->maxOpen) {
            if (!state_->displaceWaiting || state_->waiting.empty()) return nullptr;
            // The displaced connection gives its place to the newcomer at once; its socket
            // closes moments later on its own thread.
            Slot* oldest = state_->waiting.front();
            state_->waiting.pop_front();
            oldest->waiting_ = false;
            oldest->counted_ = false;
            closeDisplaced = std::move(oldest->close_);
            --state_->open;
        }
        ++state_->open;
        slot.reset(new Slot(state_));
        state_->waiting.push_back(slot.get());
    }
    if (closeDisplaced) closeDisplaced();
    return slot;
}

size_t ConnectionLimit::open() const {
    std::lock_guard lock(state_->mutex);
    return state_->open;
}

void ConnectionLimit::Slot::onDisplaced(std::function<void()> close) {
    std::lock_guard lock(state_->mutex);
    if (waiting_) close_ = std::move(close);
}

void ConnectionLimit::Slot::markBusy() {
    std::lock_guard lock(state_->mutex);
    if (!waiting_) return;
    waiting_ = false;
    state_->waiting.remove(this);
    close_ = nullptr;
}

ConnectionLimit::Slot::~Slot() {
    std::lock_guard lock(state_->mutex);
    if (waiting_) state_->waiting.remove(this);
    if (counted_) --state_->open;
}

}  // namespace velmor::net
