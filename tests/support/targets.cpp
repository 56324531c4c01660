#include "support/target.h"

#ifndef SIGNCTL_NO_WINE_TARGET
// The Windows build under Wine, when the environment asks for it (see
// tests/wine/); empty otherwise.
std::vector<std::shared_ptr<Target>> MakeWineTargets();
#endif

std::vector<std::shared_ptr<Target>> TestTargets() {
    std::vector<std::shared_ptr<Target>> targets = {MakeNativeTarget()};
#ifndef SIGNCTL_NO_WINE_TARGET
    for (auto& target : MakeWineTargets())
        targets.push_back(target);
#endif
    return targets;
}
