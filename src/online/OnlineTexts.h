#pragma once

#include <cstdint>

#include "common/AppError.h"

// The online update's texts the user sees, and its fixed values: the maker's server and account
// and its error codes.
namespace online {

// The maker's update server. VELMORA_UPDATE_SERVER=host[:port] replaces it (tests, demo).
inline constexpr const char* kServerHost = "ftp.velmora.hr";
inline constexpr int kServerPort = 21;
inline constexpr const char* kServerUser = "velmorauser";
inline constexpr const char* kServerPassword = "QxmPl47Tzd";
inline constexpr const char* kAgent = "Velmora";

// Source of the errors the phase raises itself.
inline constexpr const char* kSource = "RunOnlineUpdate";

namespace code {
inline constexpr std::int32_t kNoInternet = 10001;
inline constexpr std::int32_t kNoServer = 10002;
inline constexpr std::int32_t kNothingListed = 10003;
inline constexpr std::int32_t kCannotOpen = 10004;
inline constexpr std::int32_t kCancelled = 11111;
inline constexpr std::int32_t kNotUnpacked = 12121;
inline constexpr std::int32_t kNoNewerVersion = 22222;
// The downloaded cabinet is not signed by the maker: refused before anything is unpacked.
inline constexpr std::int32_t kNotMakers = 33333;
inline constexpr std::int32_t kSizeMismatch = 55555;
// Unexpected failures carry the run-time error numbers of the fault they are.
inline constexpr std::int32_t kInvalidArgument = RuntimeError::kInvalidProcedureCall;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kInternalError = RuntimeError::kInternalError;
}  // namespace code

}  // namespace online

namespace online_text {
inline constexpr const char* kNoInternet = "Ne mogu se spojiti na internet !!";
inline constexpr const char* kNoServer =
    "Ne mogu se spojiti na server !!\r\nAko već niste, pokrenite Dial-Up i pokušajte ponovo.";
inline constexpr const char* kNothingListed = "Ne mogu naći tražene datoteke !!";
inline constexpr const char* kCannotOpen = "Ne mogu otvoriti datoteku za čitanje !!";
inline constexpr const char* kCancelled = "Prekinuto na zahtjev korisnika !!";
inline constexpr const char* kNoNewerVersion =
    "Trenutno za vas ne postoji viša verzija !!\r\nProvjerite za koji dan.";
inline constexpr const char* kSizeMismatch = "Greška kod čitanja datoteke s internet servera !!";
inline constexpr const char* kNotMakers =
    "Skinuta datoteka nije od Velmore !!\r\nNišta nije promijenjeno.";
inline constexpr const char* kGeneralFailure = "Desila se greška kod pristupa internetu !!";
inline constexpr const char* kInvalidArgument = RuntimeError::kInvalidProcedureCallText;
inline constexpr const char* kOutOfMemory = "Out of memory";

inline constexpr const char* kConnecting = "Spajam se na Velmora internet server...";
inline constexpr const char* kConnected = "Spojio sam se...";
inline constexpr const char* kSearching = "Tražim eventualnu novu verziju programa za vas...";
inline constexpr const char* kOffered = "Verzije na raspolaganju :";
inline constexpr const char* kChosen = "Izabrana vezija za vas je ";
inline constexpr const char* kReinstallTitle = "IZBOR";
inline constexpr const char* kReinstallQuestion =
    "Trenutno nema novije verzije !!\r\n\r\nŽelite li ponoviti obnovu zadnje verzije ??";
inline constexpr const char* kDownloading = "Skidam program ";
inline constexpr const char* kInstalling = "Vršim instalaciju datoteke ";
inline constexpr const char* kPleaseWait = ", pričekajte trenutak ...";
inline constexpr const char* kAlmostDone = "\r\nSamo još trenutak !!";
}  // namespace online_text
