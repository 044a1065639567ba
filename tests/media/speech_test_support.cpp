#include "speech_test_support.h"

#include "app/log.h"
#include "support/temp_home.h"

namespace velmor::test {

size_t logMark() {
    Log::flush();
    return readFile(Log::path()).size();
}

std::string logSince(size_t mark) {
    Log::flush();
    std::string log = readFile(Log::path());
    return mark < log.size() ? log.substr(mark) : "";
}

}  // namespace velmor::test
