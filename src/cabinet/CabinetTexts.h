#pragma once

// The cabinet's texts: the boxes of a failed installation, the errors of a failed restore.
namespace cabinet_text {
inline constexpr const char* kExtractFailed = "Greška kod raspakiravanja skinute datoteke !!";
inline constexpr const char* kLockedHintStart = "Datoteku ";
inline constexpr const char* kLockedHintEnd =
    " koristi drugi program (npr. Tarvik na blagajni).\r\nZatvorite taj program i pokrenite "
    "dizanje verzije ponovo.\r\nDatoteke programa nisu mijenjane.";
inline constexpr const char* kNotPutBackHint = "Nisu vraćene sve stare datoteke programa:\r\n";
inline constexpr const char* kNotPutBackAdvice =
    "\r\nZatvorite programe koji ih koriste i pokrenite dizanje verzije ponovo: ono tada samo "
    "vraća stare datoteke.";
inline constexpr const char* kNoBackupText = "No backup of an earlier installation";
inline constexpr const char* kIncompleteText = "The backup is incomplete";
}  // namespace cabinet_text
