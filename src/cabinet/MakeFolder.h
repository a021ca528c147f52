#pragma once

#include <string>

// Creates one folder (not its parents) and answers as the platform's folder creation does:
// 0 created, 75 the path exists already or access is refused, 76 a parent level is missing,
// 82 any other failure. Never raises.
int MakeFolder(const std::string& folder);
