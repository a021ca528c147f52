#pragma once

#include <span>

#include "platform/IView.h"

// The design of the main window: every control with its kind, container, position, caption,
// font and alignment. The Qt and the Win32 windows are built from this table; the tests check it
// against the window that comes out.

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

// The window's default font size, that of the classic Windows dialog font; the bold fonts of
// ControlFont have their own sizes.
inline constexpr double kDefaultPointSize = 8.25;
inline constexpr double kBold825PointSize = 8.25;
inline constexpr double kBold975PointSize = 9.75;

// In creation order, which is also the stacking order among controls of the same sort: a later
// control lies above an earlier one (TxtRez is moved onto LblPozor and must cover it). Labels
// are drawn straight onto their container and so lie beneath every other control: LblTablica
// shares its place with PrgBar and shows only once the bar is hidden.
std::span<const ControlDesign> FrmGlavnaDesign();
