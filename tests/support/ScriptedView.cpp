#include "support/ScriptedView.h"

namespace {
// The controls that the window form starts with hidden, and the layout the logic reads back.
const std::map<Control, TwipRect> kInitialBounds = {
    {Control::LblPozor, {90, 1770, 6015, 1335}},
    {Control::TxtRez, {480, 2520, 705, 435}},
};
}  // namespace

ScriptedView::ScriptedView() : bounds_(kInitialBounds) {
    for (Control c : {Control::TxtRez, Control::LblUkupno0, Control::LblUkupno1,
                      Control::LblUkupno2, Control::LblUkupno3}) {
        visible_[c] = false;
    }
    texts_[Control::FrmGlavna] = "Velmora - Podizanje više verzije - v3.0";
    texts_[Control::LblBaza] = ". . .";
    texts_[Control::LblTablica] = ". . .";
    texts_[Control::LblUkupno0] = "Ukupno  :";
    texts_[Control::LblUkupno1] = "0";
    texts_[Control::LblUkupno2] = "Do sada :";
    texts_[Control::LblUkupno3] = "0";
    texts_[Control::CmdAkcija0] = "&Dobro";
    texts_[Control::CmdAkcija1] = "&Odustani";
    texts_[Control::FramBaza] = "Baza podataka";
    texts_[Control::FramTablica] = "Progres";
}

void ScriptedView::SetText(Control c, const std::string& text) {
    texts_[c] = text;
    textHistory.emplace_back(c, text);
    if (onSetText) onSetText(c, text);
}

std::string ScriptedView::Text(Control c) const {
    const auto it = texts_.find(c);
    return it == texts_.end() ? std::string() : it->second;
}

TwipRect ScriptedView::Bounds(Control c) const {
    const auto it = bounds_.find(c);
    return it == bounds_.end() ? TwipRect{} : it->second;
}

MsgAnswer ScriptedView::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                    const std::optional<std::string>& title) {
    messages.push_back({text, icon, buttons, title});
    if (onMessage) onMessage(messages.back());
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (answers.empty()) return MsgAnswer::No;
    const MsgAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedView::DoEvents() {
    ++doEventsCalls;
    if (onDoEvents) onDoEvents(doEventsCalls);
}

void ScriptedView::EndProgram(int code) {
    exitCode = code;
    throw ProgramEnded{code};
}

void ScriptedView::RunOffUiThread(const std::function<void()>& work) {
    ++offThreadRuns;
    offUiThread = true;
    try {
        work();
    } catch (...) {
        offUiThread = false;
        throw;
    }
    offUiThread = false;
}

bool ScriptedView::Enabled(Control c) const {
    const auto it = enabled_.find(c);
    return it == enabled_.end() ? true : it->second;
}

bool ScriptedView::Visible(Control c) const {
    const auto it = visible_.find(c);
    return it == visible_.end() ? true : it->second;
}

int ScriptedView::Refreshes(Control c) const {
    const auto it = refreshes_.find(c);
    return it == refreshes_.end() ? 0 : it->second;
}

int ScriptedView::CaretMoves(Control c) const {
    const auto it = caretMoves_.find(c);
    return it == caretMoves_.end() ? 0 : it->second;
}
