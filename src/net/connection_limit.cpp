#include "net/connection_limit.h"

#include <list>

namespace velmor::net {

struct ConnectionLimit::State {
    size_t open = 0;
    std::list<Slot*> finished;  // oldest first
    std::list<Slot*> waiting;   // oldest first
};

ConnectionLimit::ConnectionLimit(size_t maxOpen, bool newcomersDisplaceWaiting, std::function<void()> reclaimWhenFull)
    : maxOpen_(maxOpen), newcomersDisplaceWaiting_(newcomersDisplaceWaiting),
      state_(std::make_shared<Guarded<State>>()), reclaimWhenFull_(std::move(reclaimWhenFull)) {}

ConnectionLimit::Slot* ConnectionLimit::displaceable(const State& state) const {
    if (!newcomersDisplaceWaiting_) return nullptr;
    if (!state.finished.empty()) return state.finished.front();
    if (!state.waiting.empty()) return state.waiting.front();
    return nullptr;
}

std::unique_ptr<ConnectionLimit::Slot> ConnectionLimit::claim() {
    if (reclaimWhenFull_ && open() >= maxOpen_) reclaimWhenFull_();
    std::function<void()> closeDisplaced;
    auto slot = state_->withLocked([&](State& state) -> std::unique_ptr<Slot> {
        if (state.open >= maxOpen_) {
            Slot* displaced = displaceable(state);
            if (!displaced) return nullptr;
            // The displaced connection hands its place to the newcomer at once; its socket
            // closes moments later on its own thread.
            displaced->moveTo(state, Slot::Standing::Displaced);
            closeDisplaced = std::move(displaced->close_);
        }
        ++state.open;
        std::unique_ptr<Slot> claimed(new Slot(state_));
        state.waiting.push_back(claimed.get());
        return claimed;
    });
    if (closeDisplaced) closeDisplaced();
    return slot;
}

size_t ConnectionLimit::open() const {
    return state_->withLocked([](const State& state) { return state.open; });
}

void ConnectionLimit::Slot::moveTo(State& state, Standing standing) {
    if (standing_ == Standing::Displaced) return;
    auto counted = [](Standing s) { return s == Standing::Waiting || s == Standing::Finished; };
    if (standing_ == Standing::Waiting) state.waiting.remove(this);
    if (standing_ == Standing::Finished) state.finished.remove(this);
    if (counted(standing_) && !counted(standing)) --state.open;
    if (!counted(standing_) && counted(standing)) ++state.open;
    standing_ = standing;
    if (standing == Standing::Finished) state.finished.push_back(this);
}

void ConnectionLimit::Slot::onDisplaced(std::function<void()> close) {
    state_->withLocked([&](State&) {
        if (standing_ != Standing::Displaced) close_ = std::move(close);
    });
}

void ConnectionLimit::Slot::markBusy() {
    state_->withLocked([this](State& state) { moveTo(state, Standing::Busy); });
}

void ConnectionLimit::Slot::markFinished() {
    state_->withLocked([this](State& state) { moveTo(state, Standing::Finished); });
}

ConnectionLimit::Slot::~Slot() {
    // Leaves every list and gives the place back.
    state_->withLocked([this](State& state) { moveTo(state, Standing::Displaced); });
}

}  // namespace velmor::net
