#include "platform/window/FrmGlavnaLayout.h"

#include <array>

namespace {

using enum Control;
using K = ControlKind;
using F = ControlFont;
using A = TextAlign;

// clang-format off
constexpr std::array kDesign{
    ControlDesign{LblVerzija, "LblVerzija", K::Label, FrmGlavna, {120, 60, 5985, 315},
                  "", F::Bold825, A::Center, true},
    ControlDesign{FramBaza, "FramBaza", K::Frame, FrmGlavna, {120, 450, 5985, 585},
                  "Baza podataka", F::Default, A::Left, true},
    ControlDesign{LblBaza, "LblBaza", K::Label, FramBaza, {30, 180, 5895, 315},
                  ". . .", F::Bold975, A::Center, true},
    ControlDesign{FramTablica, "FramTablica", K::Frame, FrmGlavna, {120, 1110, 5985, 585},
                  "Progres", F::Default, A::Left, true},
    ControlDesign{PrgBar, "PrgBar", K::ProgressBar, FramTablica, {60, 240, 5865, 225},
                  "", F::Default, A::Left, true},
    ControlDesign{LblTablica, "LblTablica", K::Label, FramTablica, {30, 210, 5895, 285},
                  ". . .", F::Bold975, A::Center, true},
    ControlDesign{LblPozor, "LblPozor", K::TextBox, FrmGlavna, {90, 1770, 6015, 1335},
                  "", F::Bold825, A::Left, true},
    ControlDesign{TxtRez, "TxtRez", K::TextBox, FrmGlavna, {480, 2520, 705, 435},
                  "", F::Default, A::Left, false},
    ControlDesign{LblUkupno0, "LblUkupno(0)", K::Label, FrmGlavna, {120, 3210, 765, 225},
                  "Ukupno  :", F::Default, A::Left, false},
    ControlDesign{LblUkupno1, "LblUkupno(1)", K::Label, FrmGlavna, {900, 3210, 885, 225},
                  "0", F::Default, A::Right, false},
    ControlDesign{LblUkupno2, "LblUkupno(2)", K::Label, FrmGlavna, {120, 3450, 765, 225},
                  "Do sada :", F::Default, A::Left, false},
    ControlDesign{LblUkupno3, "LblUkupno(3)", K::Label, FrmGlavna, {900, 3450, 885, 225},
                  "0", F::Default, A::Right, false},
    ControlDesign{CmdAkcija0, "CmdAkcija(0)", K::Button, FrmGlavna, {4050, 3480, 945, 315},
                  "&Dobro", F::Default, A::Center, true},
    ControlDesign{CmdAkcija1, "CmdAkcija(1)", K::Button, FrmGlavna, {5160, 3480, 945, 315},
                  "&Odustani", F::Default, A::Center, true},
};
// clang-format on

}  // namespace

std::span<const ControlDesign> FrmGlavnaDesign() { return kDesign; }
