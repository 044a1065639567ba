// Compiled by the tests of this folder, never linked: an operation's result that is
// dropped on the floor must stop the build.
#include "base/result.h"

namespace {

velmor::Result<void> save() { return velmor::fail("disk full"); }
velmor::Result<int> count() { return 3; }

}  // namespace

int main() {
#ifdef DROP_THE_RESULT
    save();
    count();
    return 0;
#else
    if (auto saved = save(); !saved) return 1;
    return count().value();
#endif
}
