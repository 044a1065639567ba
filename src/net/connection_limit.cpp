#include "net/connection_limit.h"

#include <list>
#include <mutex>

namespace velmor::net {

struct ConnectionLimit::State {
    std::mutex mutex;
    const size_t maxOpen;
    const bool displace;
    size_t open = 0;
    std::list<Slot*> finished;  // oldest first
    std::list<Slot*> waiting;   // oldest first

    State(size_t maxOpen, bool displace) : maxOpen(maxOpen), displace(displace) {}

    // The connection to give way to a newcomer, or null when none may.
    Slot* candidate() {
        if (!displace) return nullptr;
        if (!finished.empty()) return finished.front();
        if (!waiting.empty()) return waiting.front();
        return nullptr;
    }
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
            Slot* displaced = state_->candidate();
            if (!displaced) return nullptr;
            // The displaced connection hands its place to the newcomer at once; its socket
            // closes moments later on its own thread.
            displaced->moveTo(Slot::Standing::Displaced);
            closeDisplaced = std::move(displaced->close_);
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

void ConnectionLimit::Slot::moveTo(Standing standing) {
    if (standing_ == Standing::Displaced) return;
    auto counted = [](Standing s) { return s == Standing::Waiting || s == Standing::Finished; };
    if (standing_ == Standing::Waiting) state_->waiting.remove(this);
    if (standing_ == Standing::Finished) state_->finished.remove(this);
    if (counted(standing_) && !counted(standing)) --state_->open;
    if (!counted(standing_) && counted(standing)) ++state_->open;
    standing_ = standing;
    if (standing == Standing::Finished) state_->finished.push_back(this);
}

void ConnectionLimit::Slot::onDisplaced(std::function<void()> close) {
    std::lock_guard lock(state_->mutex);
    if (standing_ != Standing::Displaced) close_ = std::move(close);
}

void ConnectionLimit::Slot::markBusy() {
    std::lock_guard lock(state_->mutex);
    moveTo(Standing::Busy);
}

void ConnectionLimit::Slot::markFinished() {
    std::lock_guard lock(state_->mutex);
    moveTo(Standing::Finished);
}

ConnectionLimit::Slot::~Slot() {
    std::lock_guard lock(state_->mutex);
    moveTo(Standing::Displaced);  // leaves every list and gives the place back
}

}  // namespace velmor::net
