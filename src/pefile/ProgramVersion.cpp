#include "pefile/ProgramVersion.h"

#include <vector>

#include "pefile/PeVersionReader.h"
#include "pefile/PefileTexts.h"
#include "run/RunTexts.h"

std::string FormatVersionText(const std::string& fileVersionText) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto dot = fileVersionText.find('.', start);
        parts.push_back(fileVersionText.substr(start, dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    // Position 2 is skipped; the dot after each written part is decided by whether that part is
    // the last one, so three parts a.b.c give "a.b." (the dot is written before c is skipped).
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i == 2) continue;
        out += parts[i];
        if (i + 1 < parts.size()) out += '.';
    }
    return out;
}

std::string GetProgramVersion(IView& view, const std::string& path) {
    const auto version = ReadPeFileVersion(path);
    if (!version) {
        view.ShowMessage(pefile_text::kNoVersion, MsgIcon::Error, MsgButtons::Ok,
                         run_text::kBoxTitle);
        return "Err";
    }
    return FormatVersionText(version->ToText());
}
