#pragma once

// The database phase's texts: its window lines, boxes and end-of-run summary.
namespace database_text {
inline constexpr const char* kConnecting = "\r\n\r\nSamo trenutak molim. Spajam se na server.";
inline constexpr const char* kPreparing = "\r\n\r\nSamo trenutak molim. Vršim pripremu podataka.\r\n";
inline constexpr const char* kUpgrading = "\r\n\r\nSamo trenutak molim. Vršim podizanje verzije.";
inline constexpr const char* kFinished = "\r\n\r\nPodizanje verzije ZAVRŠENO !!";
inline constexpr const char* kSuccess = "Podizanje verzije uspješno završeno !!";
inline constexpr const char* kCannotContinue = "Nastavak nije moguć !!";
inline constexpr const char* kServerOpenFailed = "Greška kod otvaranja servera!!";
inline constexpr const char* kExecutionFailed = "Greška kod izvršenja !!";
inline constexpr const char* kOpenFailedTitle = "Tarvik - greška otvaranja";
// CR CR between the two sentences: the box breaks the line without LF.
inline constexpr const char* kOpenFailed =
    "Dogodila se greška prilikom otvaranja baze podataka !\r\rMoguće da pogon baze podataka nije "
    "aktiviran.";
inline constexpr const char* kColonStep = "::::";
inline constexpr const char* kMarkerTable = "BLAG_DNEV";

// The end of a run in which batches failed or databases were skipped (see RunResult).
inline constexpr const char* kFinishedWithErrors = "Podizanje verzije završeno s greškama !!";
inline constexpr const char* kFailedBatches = "Neuspjelih naredbi: ";
inline constexpr const char* kSkippedDatabases = "Preskočene baze (prebacivanje u bazu nije uspjelo): ";
// Databases that were not stamped for another reason than a missing table Verzija.
inline constexpr const char* kNotStamped = "Verzija nije upisana (baza ostaje na staroj verziji): ";
// A batch cut at the command time-out, with the database and the batch's number.
inline constexpr const char* kTimedOut = "Naredbe prekinute zbog isteka vremena: ";
// A batch whose statements after the failing one may not have run (it could not be read to
// its end).
inline constexpr const char* kCutShort = "Naredbe koje možda nisu izvršene do kraja: ";
// A database whose script left a transaction open: it was rolled back, the version not written.
inline constexpr const char* kRolledBack =
    "Otvorena transakcija poništena (rad skripte poništen, verzija nije upisana): ";
inline constexpr const char* kBatchWord = "naredba ";
inline constexpr const char* kScriptEnd = "kraj skripte";
// Databases whose collation keeps text without N in another code page than 1250.
inline constexpr const char* kOtherCodePage =
    "Kodna stranica baze nije 1250 (hrvatska slova u tekstu bez N se gube): ";
inline constexpr const char* kSeeLog = "Pojedinosti su zapisane u datoteci ";

// The end of a run stopped by the pre-flight, before any database was changed; one line per
// database that failed it, with the reasons.
inline constexpr const char* kPreFlightFailed =
    "Podizanje verzije nije započeto: neke baze nisu spremne za promjenu.";
inline constexpr const char* kNothingChanged = "Nijedna baza nije promijenjena.";
inline constexpr const char* kNotOnline = "baza nije dostupna (stanje: ";
inline constexpr const char* kReadOnly = "baza je samo za čitanje";
inline constexpr const char* kNotMultiUser = "baza nije u višekorisničkom načinu rada (";
inline constexpr const char* kNotWritable = "prijava nema pravo mijenjati bazu";
inline constexpr const char* kStateUnknown = "stanje baze nije poznato";
}  // namespace database_text
