#include "upgradefile/SectionReader.h"

#include <fstream>
#include <iterator>
#include <string_view>

#include "common/Cp1250.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "shell/AppTexts.h"

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
        return line;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

}  // namespace

bool ExtractSection(const std::string& fileBytes, const std::string& header, std::string& text) {
    // The header is compared in the file's own code page.
    const std::string wanted = cp1250::FromUtf8(header);
    LineCursor lines(fileBytes);
    if (lines.AtEnd()) return false;  // reading past the end: the empty file
    while (lines.Next() != wanted) {
        if (lines.AtEnd()) return false;
    }
    std::string body;
    bool terminated = false;
    while (!lines.AtEnd()) {
        const std::string_view line = lines.Next();
        if (line == "*") {
            terminated = true;
            break;
        }
        body.append(line).append(kCrLf);
    }
    if (!terminated) return false;
    text = cp1250::ToUtf8(body);
    return true;
}

std::string ReadSection(IView& view, const std::string& programFolder, const std::string& header) {
    std::ifstream in(FsPath(JoinPath(programFolder, texts::kUpgradeFileName)), std::ios::binary);
    std::string bytes;
    bool ok = static_cast<bool>(in);
    if (ok) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ok = !in.bad();
    }
    std::string text;
    if (ok && ExtractSection(bytes, header, text)) return text;
    view.ShowMessage("Neispravna konfiguracijska datoteka ''Tarvik_Upg.upg", MsgIcon::Error,
                     MsgButtons::Ok, texts::kBoxTitle);
    return "Err";
}
