#include "app/shell/client_config.h"

#include <filesystem>

namespace velmor::shell {

std::string programDirectory() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string bridgePath() { return programDirectory() + "/velmor-bridge"; }

}  // namespace velmor::shell
