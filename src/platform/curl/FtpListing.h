#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FtpPattern.h"
#include "platform/IInternet.h"

// Reading an FTP server's LIST answer. Two formats are known: the Unix one
// ("-rw-r--r-- 1 owner group 1024 Dec 08 14:00 name", with or without the group, links shown as
// "name -> target") and the one of Windows servers ("12-08-26  02:00PM  <DIR>  name" or with the
// size instead of "<DIR>"). Lines in neither format ("total 12", blank lines) are left out.

// The entries of a listing, in the order the server sent them.
std::vector<FindRecord> ParseFtpListing(std::string_view listing);

