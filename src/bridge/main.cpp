#include "bridge/command_line.h"

int main(int argc, char** argv) { return velmor::bridge::runCommandLine(argc, argv); }
