#include "upgradefile/SectionReader.h"

#include <fstream>
#include <iterator>
#include <string_view>

#include "common/Cp1250.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "run/RunTexts.h"
#include "upgradefile/UpgradefileTexts.h"

namespace {

// Walks the lines of a byte buffer the way a text stream reads them.
class LineCursor {
public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ >= bytes_.size(); }

    std::string_view Next() {
        const auto lf = bytes_.find('\n', pos_);
        std::string_view line = bytes_.substr(pos_, lf == std::string_view::npos ? lf : lf - pos_);
        pos_ = lf == std::string_view::npos ? bytes_.size() : lf + 1;
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ++number_;
        return line;
    }

    // The number of the line Next returned last, from 1.
    int Number() const { return number_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    int number_ = 0;
};

// Why a section cannot be read; the empty text when it can, with its text in `text`.
std::string ReadFromBytes(const std::string& fileBytes, const std::string& header, std::string& text) {
    // The header is compared in the file's own code page.
    const std::string wanted = cp1250::FromUtf8(header);
    LineCursor lines(fileBytes);
    if (lines.AtEnd()) return "the file is empty or missing";  // reading past the end
    while (lines.Next() != wanted) {
        if (lines.AtEnd()) return "no line " + header;
    }
    std::string body;
    while (!lines.AtEnd()) {
        const std::string_view line = lines.Next();
        if (line == "*") {
            text = cp1250::ToUtf8(body);
            return {};
        }
        // A NUL is no character of a text file, and a driver that ends text at the first NUL
        // would send a statement cut short (DELETE without its WHERE). The section is refused
        // whole, so no part of a damaged script ever runs.
        if (line.find('\0') != std::string_view::npos) {
            return "a NUL byte in line " + std::to_string(lines.Number()) + " (in " + header + ")";
        }
        body.append(line).append(kCrLf);
    }
    return "no line * after " + header;
}

std::string ReadFileBytes(const std::string& programFolder, bool& ok) {
    std::ifstream in(FsPath(JoinPath(programFolder, run_text::kUpgradeFileName)), std::ios::binary);
    std::string bytes;
    ok = static_cast<bool>(in);
    if (ok) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ok = !in.bad();
    }
    return bytes;
}

}  // namespace

bool ExtractSection(const std::string& fileBytes, const std::string& header, std::string& text) {
    return ReadFromBytes(fileBytes, header, text).empty();
}

std::string SectionFault(const std::string& programFolder, const std::string& header) {
    bool ok = false;
    const std::string bytes = ReadFileBytes(programFolder, ok);
    if (!ok) return "the file cannot be opened or read";
    std::string text;
    const std::string fault = ReadFromBytes(bytes, header, text);
    return fault.empty() ? "none" : fault;
}

std::string ReadSection(IView& view, const std::string& programFolder, const std::string& header) {
    bool ok = false;
    const std::string bytes = ReadFileBytes(programFolder, ok);
    std::string text;
    if (ok && ExtractSection(bytes, header, text)) return text;
    view.ShowMessage(upgradefile_text::kBadFile, MsgIcon::Error, MsgButtons::Ok,
                     run_text::kBoxTitle);
    return "Err";
}
