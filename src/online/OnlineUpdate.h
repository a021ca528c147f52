#pragma once

#include "online/IUpdateCabinet.h"
#include "online/UpdateServer.h"
#include "platform/IFileSystem.h"
#include "platform/IInternet.h"
#include "shell/UpgradeContext.h"

// What the online update works with besides the window.
struct OnlineUpdateServices {
    IInternet& internet;
    IFileSystem& files;
    UpdateCabinetFactory makeCabinet;
    UpdateServer server;
};

// The online update: connects to the update server, lists the offered cabinets, chooses the one
// that upgrades from the installed version (or offers the last one again), downloads it into
// the program folder in 512-byte reads while the user may cancel, and unpacks it there.
// True only when a cabinet was downloaded and unpacked; every other outcome it has reported to
// the user itself, with all internet handles closed and the window's flags cleared.
bool RunOnlineUpdate(UpgradeContext& context, OnlineUpdateServices& services);
