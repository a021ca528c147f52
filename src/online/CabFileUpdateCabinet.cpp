#include "online/CabFileUpdateCabinet.h"

bool CabFileUpdateCabinet::Extract() {
    // Three empty texts: every file, under its stored name, into the cabinet's own folder.
    return cab_.Extract("", "", "");
}
