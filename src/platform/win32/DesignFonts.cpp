#include "platform/win32/DesignFonts.h"

#include <cmath>

namespace {

constexpr double kPointsPerInch = 72.0;

HFONT MakeFont(double pointSize, bool bold, double dotsPerInch) {
    LOGFONTW font{};
    font.lfHeight = FontHeight(pointSize, dotsPerInch);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = EASTEUROPE_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    lstrcpynW(font.lfFaceName, DesignFonts::kFaceName, LF_FACESIZE);
    // Never null in practice: the font mapper always finds some face. A null font would leave
    // the control with the system font, which is still legible.
    return CreateFontIndirectW(&font);
}

}  // namespace

int FontHeight(double pointSize, double dotsPerInch) {
    return -static_cast<int>(std::lround(pointSize * dotsPerInch / kPointsPerInch));
}

DesignFonts::DesignFonts(double dotsPerInch)
    : normal_(MakeFont(kDefaultPointSize, false, dotsPerInch)),
      bold825_(MakeFont(kBold825PointSize, true, dotsPerInch)),
      bold975_(MakeFont(kBold975PointSize, true, dotsPerInch)) {}

DesignFonts::~DesignFonts() {
    for (HFONT font : {normal_, bold825_, bold975_}) {
        if (font) DeleteObject(font);
    }
}

HFONT DesignFonts::Get(ControlFont font) const {
    switch (font) {
        case ControlFont::Bold825: return bold825_;
        case ControlFont::Bold975: return bold975_;
        case ControlFont::Default: break;
    }
    return normal_;
}
