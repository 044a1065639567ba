#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::automation {

// What the agent is answered when it would act on a window of Velmor's own.
inline constexpr const char* kOwnWindow =
    "this window belongs to Velmor and asks the user; it cannot be operated by the agent";

// Velmor's own processes: Velmor itself (its setup guide and settings) and the programs it
// ships that ask the user (velmor-shortcuts with its import and input dialogs). Their windows
// exist so that a person decides; the agent must never decide for them. A process is known by
// its executable, never by a title or a name, which any application or page can copy.
class OwnProcesses {
public:
    // This process and the executables at `programs`.
    explicit OwnProcesses(std::vector<std::string> programs);

    bool owns(int32_t pid) const;

private:
    std::vector<std::string> programs_;  // resolved paths
};

// This process and velmor-shortcuts, installed next to it.
OwnProcesses velmorProcesses();

}  // namespace velmor::automation
