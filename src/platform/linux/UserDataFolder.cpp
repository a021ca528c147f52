#include <string>

#include "platform/ProgramFolder.h"

// A program folder here belongs to the user who installs into it; one that user cannot write
// is not a case the run log moves for.
std::string UserDataFolder() { return {}; }
