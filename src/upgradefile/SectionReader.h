#pragma once

#include <string>

#include "platform/IView.h"

// Reads one section of the upgrade file "Tarvik_Upg.Upg" in the program folder, afresh from its
// first line on each call: the body lines between the header line (exactly `header`, e.g.
// "[Verzija]") and the first line that is exactly "*", each followed by CR LF, as UTF-8.
// On any failure (no file, empty file, no header, no terminator, a NUL byte in the body) it shows
// its message and returns "Err". A NUL refuses the whole section, never only its line: a text cut
// at the NUL would be another statement than the one written.
//
// The file is Windows-1250. A line ends at LF; a CR directly before that LF belongs to the line
// break, any other CR stays in the text. So files written with CR LF and with bare LF read alike.
std::string ReadSection(IView& view, const std::string& programFolder, const std::string& header);

// The same reading over the file's bytes, without any message: false where ReadSection fails.
bool ExtractSection(const std::string& fileBytes, const std::string& header, std::string& text);

// Why ReadSection fails for this header, in English for the run log ("a NUL byte in line 7 (in
// [Akcija])"); "none" when it does not.
std::string SectionFault(const std::string& programFolder, const std::string& header);
