#pragma once

// The programs' texts around the installation: an interrupted one undone, a folder that cannot
// be used, a restore of the latest backup.
namespace app_text {
inline constexpr const char* kRolledBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka.\r\n"
    "Vraćene su stare datoteke programa; pokrenite dizanje verzije ponovo.";
inline constexpr const char* kNotPutBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka,\r\n"
    "a ove stare datoteke programa nisu se mogle vratiti:\r\n";
inline constexpr const char* kNotPutBackAdvice =
    "Zatvorite programe koji ih koriste i pokrenite dizanje verzije ponovo.";
inline constexpr const char* kAlreadyRunning = "Dizanje verzije već je pokrenuto u ovoj mapi:\r\n";
inline constexpr const char* kAlreadyRunningAdvice =
    "\r\nPričekajte da završi i zatvorite ga; ovo pokretanje ništa nije mijenjalo.";
inline constexpr const char* kNotWritable = "Mapa programa nije dostupna za pisanje:\r\n";
inline constexpr const char* kNotWritableAdvice =
    "\r\nPokrenite dizanje verzije kao administrator (desni klik, \"Pokreni kao administrator\").";
inline constexpr const char* kRestored =
    "Vraćene su datoteke programa od prije zadnje instalacije.";
inline constexpr const char* kRestoreFailed = "Vraćanje datoteka programa nije uspjelo:\r\n";
}  // namespace app_text
