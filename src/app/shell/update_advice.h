#pragma once

#include <string>

namespace velmor::shell {

// How this installation of Velmor gets a newer version: what "Check for Updates…" says.
struct UpdateAdvice {
    std::string headline;
    std::string detail;
};

// Told from where the running program lives: the package puts it under /usr (its programs
// in /usr/bin), a build from a source checkout runs from /usr/local/bin, where
// scripts/install-and-run.sh installs it, or from the checkout's build folder.
UpdateAdvice updateAdvice(const std::string& programDirectory);

}  // namespace velmor::shell
