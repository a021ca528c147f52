#include <cstdlib>

#include "online/CabFileUpdateCabinet.h"
#include "online/OnlineUpdate.h"
#include "app/Wiring.h"
#include "app/AppPhases.h"

// The online update over this platform's FTP client and file operations, with cabinets
// unpacked by a CabFile over the platform's cabinet iterator. VELMORA_UPDATE_SERVER=host[:port]
// points the phase at another server than the maker's (tests, the demo). The cabinet is checked
// with the maker's keys the program was built with (none: unchecked).
bool RunAppOnlineUpdate(UpgradeContext& context) {
    const auto internet = MakeInternet();
    const auto files = MakeFileSystem();
    const auto iterator = MakeCabinetIterator();
    const auto crypto = MakeUpdateCrypto();
    OnlineUpdateServices services{
        *internet, *files,
        [&] {
            return std::make_unique<CabFileUpdateCabinet>(
                context.view, *iterator, *files, context.state.programVersion,
                [&context](const std::string& line) {
                    context.log.Write("install", RunLog::Escape(line));
                });
        },
        ResolveUpdateServer(std::getenv("VELMORA_UPDATE_SERVER")),
        TrustOfKeys(*crypto, BuiltInUpdateKeysPem())};
    context.log.Write("online", "update server " + services.server.host + ":" +
                                    std::to_string(services.server.port));
    return RunOnlineUpdate(context, services);
}
