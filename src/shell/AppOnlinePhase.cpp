#include <cstdlib>

#include "online/CabFileUpdateCabinet.h"
#include "online/OnlineUpdate.h"
#include "platform/curl/CurlInternet.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "platform/stdfs/StdFileSystem.h"
#include "shell/AppPhases.h"

// The online update over libcurl's FTP client, the program folder through the standard
// library, and cabinets unpacked by a CabFile over libmspack. VELMORA_UPDATE_SERVER=host[:port]
// points the phase at another server than the maker's (tests, the demo).
bool RunAppOnlineUpdate(UpgradeContext& context) {
    CurlInternet internet;
    StdFileSystem files;
    MspackCabinetIterator iterator;
    OnlineUpdateServices services{
        internet, files,
        [&] {
            return std::make_unique<CabFileUpdateCabinet>(
                context.view, iterator, files, context.state.programVersion,
                [&context](const std::string& line) {
                    context.log.Write("install", RunLog::Escape(line));
                });
        },
        ResolveUpdateServer(std::getenv("VELMORA_UPDATE_SERVER"))};
    context.log.Write("online", "update server " + services.server.host + ":" +
                                    std::to_string(services.server.port));
    return RunOnlineUpdate(context, services);
}
