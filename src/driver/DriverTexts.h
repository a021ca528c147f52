#pragma once

// The driver's texts: the window's labels and captions between the phases, its boxes.
namespace driver_text {
inline constexpr const char* kWarning =
    "\r\nP O Z O R !!\r\n\r\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.";
inline constexpr const char* kNewVersion = "Instalacija nove verzije";
inline constexpr const char* kInstalled = "Podizanje verzije uspješno izvršeno !!";
inline constexpr const char* kBadLabel =
    "Neispravna oznaka verzije u konfiguracijskoj datoteci ''Tarvik_Upg.upg";
// Followed by the label with its "/" as "na": "Prelaz s vezije 3.1na3.2".
inline constexpr const char* kFromVersion = "Prelaz s vezije ";
inline constexpr const char* kTo = "na";
inline constexpr const char* kDone = "GOTOVO !!";
inline constexpr const char* kEndButton = "&Kraj";
// The box of a failure that escaped the program, followed by its description.
inline constexpr const char* kStopped = "Program je zaustavljen zbog greške:";
inline constexpr const char* kUnknownFailure = "nepoznata greška";
}  // namespace driver_text
