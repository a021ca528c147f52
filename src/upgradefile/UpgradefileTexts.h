#pragma once

// The upgrade file reader's text: the box of a section it cannot read.
namespace upgradefile_text {
inline constexpr const char* kBadFile = "Neispravna konfiguracijska datoteka ''Tarvik_Upg.upg";
}  // namespace upgradefile_text
