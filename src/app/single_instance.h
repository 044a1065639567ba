#pragma once

#include "base/result.h"

#include <functional>
#include <string>

// One Velmor per user: the first to start holds a lock in the user's runtime folder for as
// long as it runs; a later start finds it held, asks the running one to show its setup
// guide, and leaves.
namespace velmor {

class SingleInstance {
public:
    enum class Claim { ours, heldByAnother };

    // Takes the lock in `folder` (made private to this user when missing). Fails when the
    // folder cannot be made or is not this user's own.
    static Result<SingleInstance> claim(const std::string& folder);

    SingleInstance(SingleInstance&& other) noexcept;
    SingleInstance& operator=(SingleInstance&&) = delete;
    ~SingleInstance();

    Claim state() const { return claim_; }
    const std::string& folder() const { return folder_; }

    // Held by another: asks that Velmor to bring up its setup guide. False when it does not
    // take the request (it runs without a display, or is still starting).
    bool askToShowGuide() const;

    // Ours: from now on, a request of another start of this user calls `showGuide` (on a
    // thread of its own; the caller moves it to where its windows live). Requests from other
    // users, and anything but the one request, are turned away; each connection gets a
    // second to say it, one at a time.
    Result<void> serveGuideRequests(std::function<void()> showGuide);

private:
    SingleInstance(std::string folder, int lockFd, Claim claim);

    std::string folder_;
    int lockFd_ = -1;
    Claim claim_;
};

}  // namespace velmor
