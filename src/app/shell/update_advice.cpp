#include "app/shell/update_advice.h"

namespace velmor::shell {

namespace {

bool installedByPackage(const std::string& programDirectory) {
    return programDirectory.starts_with("/usr/") && !programDirectory.starts_with("/usr/local/");
}

}  // namespace

UpdateAdvice updateAdvice(const std::string& programDirectory) {
    if (installedByPackage(programDirectory))
        return {"Velmor is updated by your package manager",
                "This Velmor was installed from its package. Install updates with your desktop's software updater "
                "or with: sudo apt update && sudo apt upgrade"};
    return {"Velmor is updated from its source code",
            "This Velmor was built from a source checkout (it runs from " + programDirectory +
                "). To update it, pull the latest changes in the checkout (git pull) and run "
                "scripts/install-and-run.sh again."};
}

}  // namespace velmor::shell
