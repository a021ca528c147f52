#pragma once

#include <windows.h>

#include "platform/window/FrmGlavnaLayout.h"

// The window's three fonts at the screen's scale: the default one and the two bold ones of the
// design. Tahoma has every Croatian letter (č ć đ š ž) and is on every Windows since 2000; the
// East-European character set makes a substituted face (Wine's, an old system's) one with
// those letters too.
class DesignFonts {
public:
    explicit DesignFonts(double dotsPerInch);
    ~DesignFonts();
    DesignFonts(const DesignFonts&) = delete;
    DesignFonts& operator=(const DesignFonts&) = delete;

    HFONT Get(ControlFont font) const;

    static constexpr const wchar_t* kFaceName = L"Tahoma";

private:
    HFONT normal_;
    HFONT bold825_;
    HFONT bold975_;
};

// The character height of a font of pointSize points at dotsPerInch, as a negative LOGFONT height
// (a character height, not a cell height, as point sizes are meant).
int FontHeight(double pointSize, double dotsPerInch);
