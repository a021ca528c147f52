#pragma once

#include "online/IUpdateCabinet.h"
#include "online/UpdateTrust.h"
#include "online/UpdateServer.h"
#include "platform/IFileSystem.h"
#include "platform/IInternet.h"
#include "run/UpgradeContext.h"

// What the online update works with besides the window.
struct OnlineUpdateServices {
    IInternet& internet;
    IFileSystem& files;
    UpdateCabinetFactory makeCabinet;
    UpdateServer server;
    // The maker's keys; without any, cabinets are installed unchecked.
    UpdateTrust trust = {};
};

// The online update: connects to the update server, lists the offered cabinets, chooses the one
// that upgrades from the installed version (or offers the last one again), downloads it into
// the program folder in 512-byte reads while the user may cancel, checks its signature when the
// program carries the maker's keys, and unpacks it there.
// True only when a cabinet was downloaded and unpacked; every other outcome it has reported to
// the user itself, with all internet handles closed and the window's flags cleared.
bool RunOnlineUpdate(UpgradeContext& context, OnlineUpdateServices& services);
