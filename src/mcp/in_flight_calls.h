#pragma once

#include "base/call_context.h"
#include "base/guarded.h"

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace velmor::mcp {

// The tool calls running right now, by the session they came with and their JSON-RPC id, so
// that a client's notifications/cancelled reaches the call it names and no other session's.
// It holds running calls only: the tool-call workers bound how many there are.
class InFlightCalls {
public:
    using Key = std::pair<std::string, std::string>;  // session, the id's compact JSON text
    using Calls = std::multimap<Key, std::shared_ptr<CallContext>>;

    // Keeps a call listed for its own lifetime.
    class Registration {
    public:
        Registration(InFlightCalls& calls, Calls::iterator entry)
            : calls_(calls), entry_(entry) {}
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        InFlightCalls& calls_;
        Calls::iterator entry_;
    };

    [[nodiscard]] std::unique_ptr<Registration> add(Key key, std::shared_ptr<CallContext> context);
    // Cancels every running call under `key` (a client that reused an id while the first
    // call ran meant them both); false when none runs.
    bool cancel(const Key& key);
    size_t size() const;

private:
    Guarded<Calls> calls_;
};

}  // namespace velmor::mcp
