#include "net/open_file_limit.h"

#include <cerrno>
#include <cstring>
#include <sys/resource.h>

namespace velmor::net {

std::string raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::string("Open-file limit unknown: ") + std::strerror(errno);
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0)
            return "Open-file limit stays " + std::to_string(limit.rlim_cur) + ": " + std::strerror(errno);
        limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::string("Open-file limit: unlimited")
                                           : "Open-file limit: " + std::to_string(limit.rlim_cur);
}

}  // namespace velmor::net
