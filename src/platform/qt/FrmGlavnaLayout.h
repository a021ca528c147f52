#pragma once

#include <span>

#include "platform/IView.h"

// The design of the main window: every control with its kind, container, position, caption,
// font and alignment. The Qt window is built from this table; the tests check it against the
// window that comes out.

enum class ControlKind { Label, Frame, ProgressBar, TextBox, Button };
enum class ControlFont { Default, Bold825, Bold975 };
enum class TextAlign { Left, Center, Right };

struct ControlDesign {
    Control id;
    const char* name;   // the control's name, with its index in a control array
    ControlKind kind;
    Control container;  // Control::FrmGlavna or the frame that holds the control
    TwipRect rect;      // relative to the container's top-left corner
    const char* caption;
    ControlFont font;
    TextAlign align;
    bool visibleAtStart;
};

// The size of the window's client area.
inline constexpr int kClientWidthTwips = 6210;
inline constexpr int kClientHeightTwips = 3885;

// The font family of the whole window: it has every Croatian letter (č ć đ š ž) and is on
// every Debian desktop.
inline constexpr const char* kWindowFontFamily = "DejaVu Sans";
// The window's default font size, that of the classic Windows dialog font.
inline constexpr double kDefaultPointSize = 8.25;

// In creation order, which is also the stacking order among controls of the same sort: a later
// control lies above an earlier one (TxtRez is moved onto LblPozor and must cover it). Labels
// are drawn straight onto their container and so lie beneath every other control: LblTablica
// shares its place with PrgBar and shows only once the bar is hidden.
std::span<const ControlDesign> FrmGlavnaDesign();
