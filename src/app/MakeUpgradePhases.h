#pragma once

#include <memory>

#include "driver/IUpgradePhases.h"
#include "run/UpgradeContext.h"

// The real program's phases, wired to the platform's implementations. Both front-ends use it.
std::unique_ptr<IUpgradePhases> MakeUpgradePhases(UpgradeContext& context);
