#include "base/standard_streams.h"
#include "bridge/command_line.h"

int main(int argc, char** argv) {
    velmor::fillClosedStandardStreams();
    return velmor::bridge::runCommandLine(argc, argv);
}
