// velmora-cab: what a downloaded cabinet holds, through the same CabFile object the upgrade
// uses, for support staff.
//
//   velmora-cab count CAB
//   velmora-cab list CAB [FILE]                 path, name, date, size; TAB-separated
//   velmora-cab xml CAB [FILE]                  the XML listing, byte for byte
//   velmora-cab extract CAB [FILE] [FOLDER] [NAME]
//
// and for the maker, before a cabinet goes to the update server (docs/signatures.md):
//
//   velmora-cab sign KEY.pem CAB                writes CAB.sig
//   velmora-cab verify CAB [--key PUB.pem]      exit 0 when CAB.sig is valid, 1 when not
//   velmora-cab check CAB [--key PUB.pem]       the release check, one line per finding
//
// "extract CAB" alone installs the cabinet into its own folder as one unit, as the upgrade
// does: every file is unpacked into a staging folder first and then moved into place, the
// replaced files kept in Tarvik_Upg.bak/<cabinet name>/; on failure the folder stays as it was.
// Its steps go to standard error, each line starting with "install: ".
//
// Errors go to standard error as "number/description" and the exit status is 1; a wrong
// command line gives the usage and status 2. These statuses are this tool's own, for the maker's
// scripts, not the upgrade programs' (run/ExitStatus.h).
//
// A cabinet is untrusted input read on a terminal: control characters in stored names (ESC,
// CR, LF and the like) are printed escaped ("\x1B", "\r"), never raw. Extraction refuses such
// names.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/CabDate.h"
#include "cabinet/CabFile.h"
#include "app/velmora-cab/ReleaseCheck.h"
#include "app/velmora-cab/SignatureCommands.h"
#include "app/velmora-cab/StderrView.h"
#include "common/AppError.h"
#include "common/Strings.h"
#include "platform/ConsoleArguments.h"
#include "app/Wiring.h"

namespace {

constexpr const char* kUsage =
    "usage: velmora-cab count CAB\n"
    "       velmora-cab list CAB [FILE]\n"
    "       velmora-cab xml CAB [FILE]\n"
    "       velmora-cab extract CAB [FILE] [FOLDER] [NAME]\n"
    "       velmora-cab sign KEY.pem CAB\n"
    "       velmora-cab verify CAB [--key PUB.pem]\n"
    "       velmora-cab check CAB [--key PUB.pem]\n";

// The XML listing with the control characters of its names escaped; the CR LF that ends each
// FILE element is the document's own and stays.
std::string EscapedXml(const std::string& xml) {
    constexpr std::string_view kElementEnd = "</FILE>\r\n";
    std::string out;
    std::size_t start = 0;
    for (std::size_t end; (end = xml.find(kElementEnd, start)) != std::string::npos;
         start = end + kElementEnd.size()) {
        out += EscapeControls(std::string_view(xml).substr(start, end - start));
        out += kElementEnd;
    }
    return out + EscapeControls(std::string_view(xml).substr(start));
}

std::string Arg(const std::vector<std::string>& args, std::size_t index) {
    return index < args.size() ? args[index] : std::string();
}

int Run(CabFile& cab, const std::string& command, const std::vector<std::string>& args) {
    if (command == "count") {
        std::cout << cab.FileCount() << '\n';
        return 0;
    }
    if (command == "list") {
        const std::locale locale = UserDateLocale();
        cab.FileFound = [&](const std::string& name, CabDateTime date, std::int32_t size,
                            const std::string& path) {
            std::cout << EscapeControls(path) << '\t' << EscapeControls(name) << '\t'
                      << DateText(DateToCalendar(date), locale)
                      << '\t' << size << '\n';
        };
        cab.GetInfo(Arg(args, 3));
        return 0;
    }
    if (command == "xml") {
        std::cout << EscapedXml(cab.GetXML(Arg(args, 3)));
        return 0;
    }
    cab.AfterExtract = [](const std::string& path) { std::cout << EscapeControls(path) << '\n'; };
    // The steps of an installation into the cabinet's own folder, for the person at the tool.
    cab.InstallStep = [](const std::string& line) {
        std::cerr << "install: " << EscapeControls(line) << '\n';
    };
    return cab.Extract(Arg(args, 3), Arg(args, 4), Arg(args, 5)) ? 0 : 1;
}

// sign, verify and check; nullopt when the command line is not one of theirs.
std::optional<int> RunMakerCommand(const std::vector<std::string>& args) {
    const std::string command = Arg(args, 1);
    std::string keyFile;
    if (command == "sign") {
        if (args.size() != 4) return std::nullopt;
    } else if (command == "verify" || command == "check") {
        if (args.size() == 5 && args[3] == "--key") {
            keyFile = args[4];
        } else if (args.size() != 3) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    const auto crypto = MakeUpdateCrypto();
    try {
        if (command == "sign") return SignCommand(*crypto, args[2], args[3]);
        if (command == "verify") return VerifyCommand(*crypto, args[2], keyFile);
        const auto iterator = MakeCabinetIterator();
        const std::vector<UpdateKey> keys = CheckingKeys(*crypto, keyFile);
        const auto files = MakeFileSystem();
        return PrintFindings(CheckRelease(args[2], *iterator, *files, *crypto, keys));
    } catch (const AppError& error) {
        std::cout.flush();
        std::cerr << error.number() << '/' << EscapeControls(error.description()) << '\n';
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = ConsoleArguments(argc, argv);
    const std::string command = Arg(args, 1);
    if (command == "sign" || command == "verify" || command == "check") {
        if (const std::optional<int> status = RunMakerCommand(args)) return *status;
        std::cerr << kUsage;
        return 2;
    }
    const std::size_t maxArgs = command == "count" ? 3 : command == "extract" ? 6 : 4;
    const bool known = command == "count" || command == "list" || command == "xml" ||
                       command == "extract";
    if (!known || args.size() < 3 || args.size() > maxArgs) {
        std::cerr << kUsage;
        return 2;
    }
    StderrView view;
    const auto iterator = MakeCabinetIterator();
    const auto files = MakeFileSystem();
    CabFile cab(view, *iterator, *files);
    cab.SetCabName(args[2]);
    try {
        return Run(cab, command, args);
    } catch (const AppError& error) {
        std::cout.flush();
        std::cerr << error.number() << '/' << EscapeControls(error.description()) << '\n';
        return 1;
    }
}
