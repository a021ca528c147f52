#include "platform/qt/FrmGlavna.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/window/FrmGlavnaLayout.h"
#include "platform/qt/InputBlocker.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/window/TwipScale.h"

namespace {

constexpr double kDefaultDotsPerInch = 96.0;
constexpr auto kApplyInterval = std::chrono::milliseconds(1000 / FrmGlavna::kRepaintsPerSecond);

double ScreenDotsPerInch() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : kDefaultDotsPerInch;
}

constexpr const char* kFrameStyle =
    "QGroupBox { border: 2px groove palette(mid); margin-top: 0.5em; padding: 0; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 0.5em; padding: 0 2px; }";

QString ToQt(const std::string& text) { return QString::fromStdString(UnixLineEnds(text)); }

Qt::Alignment QtAlignment(TextAlign align) {
    switch (align) {
        case TextAlign::Center: return Qt::AlignHCenter;
        case TextAlign::Right: return Qt::AlignRight;
        case TextAlign::Left: break;
    }
    return Qt::AlignLeft;
}

QFont DesignFont(const QFont& base, ControlFont font) {
    QFont result = base;
    if (font == ControlFont::Default) return result;
    result.setBold(true);
    result.setPointSizeF(font == ControlFont::Bold825 ? kBold825PointSize : kBold975PointSize);
    return result;
}

Qt::CursorShape QtCursor(Cursor cursor) {
    return cursor == Cursor::Wait ? Qt::WaitCursor : Qt::BusyCursor;
}

}  // namespace

FrmGlavna::FrmGlavna(std::string windowTitle, std::string appTitle)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      appTitle_(std::move(appTitle)),
      dotsPerInch_(ScreenDotsPerInch()) {
    setObjectName("FrmGlavna");
    QFont font(kWindowFontFamily);
    font.setPointSizeF(kDefaultPointSize);
    setFont(font);
    bounds_[Control::FrmGlavna] = {0, 0, kClientWidthTwips, kClientHeightTwips};
    widgets_[Control::FrmGlavna] = this;
    Place(Control::FrmGlavna, bounds_[Control::FrmGlavna]);
    texts_[Index(Control::FrmGlavna)] = windowTitle;
    setWindowTitle(QString::fromStdString(windowTitle));
    CreateControls();

    applyTimer_.setSingleShot(true);
    connect(&applyTimer_, &QTimer::timeout, this, [this] { ApplyPending(); });
}

FrmGlavna::~FrmGlavna() = default;

void FrmGlavna::CreateControls() {
    std::vector<QWidget*> labels;
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        QWidget* parent = widgets_.at(design.container);
        QWidget* widget = nullptr;
        switch (design.kind) {
            case ControlKind::Label: {
                auto* label = new QLabel(parent);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(QtAlignment(design.align) | Qt::AlignTop);
                label->setWordWrap(true);
                labels.push_back(label);
                widget = label;
                break;
            }
            case ControlKind::Frame: {
                auto* frame = new QGroupBox(parent);
                // The frame's line runs through the middle of its caption and the controls
                // inside keep their design positions, as in the classic Windows frame.
                frame->setStyleSheet(kFrameStyle);
                widget = frame;
                break;
            }
            case ControlKind::ProgressBar: {
                auto* bar = new QProgressBar(parent);
                bar->setRange(0, kBarSteps);
                bar->setValue(0);
                bar->setTextVisible(false);
                widget = bar;
                break;
            }
            case ControlKind::TextBox: {
                auto* box = new QPlainTextEdit(parent);
                box->setReadOnly(true);
                box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                widget = box;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(parent);
                const int index = design.id == Control::CmdAkcija0 ? 0 : 1;
                connect(button, &QPushButton::clicked, this, [this, index] {
                    if (onClick_) onClick_(index);
                });
                widget = button;
                break;
            }
        }
        widget->setObjectName(design.name);
        widget->setFont(DesignFont(font(), design.font));
        widgets_[design.id] = widget;
        bounds_[design.id] = design.rect;
        Place(design.id, design.rect);
        texts_[Index(design.id)] = design.caption;
        ApplyText(design.id, design.caption);
        widget->setVisible(design.visibleAtStart);
    }
    // The warning box wears the colour of the buttons, so that it reads as part of the form.
    QWidget* warning = widgets_.at(Control::LblPozor);
    QPalette palette = warning->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    warning->setPalette(palette);
    // Labels lie beneath the other controls (see FrmGlavnaDesign); lowering them from the last
    // keeps their order among themselves.
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) (*it)->lower();
}

QWidget* FrmGlavna::Widget(Control control) const { return widgets_.at(control); }

void FrmGlavna::Place(Control c, TwipRect rect) {
    const PixelRect px = TwipsToPixels(rect, dotsPerInch_);
    if (c == Control::FrmGlavna) {
        setFixedSize(px.width, px.height);
    } else {
        widgets_.at(c)->setGeometry(px.x, px.y, px.width, px.height);
    }
}

void FrmGlavna::ShowCentred() {
    ApplyPending();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
}

void FrmGlavna::SetText(Control c, const std::string& text) {
    texts_[Index(c)] = text;
    textPending_[Index(c)] = true;
    appendPending_[Index(c)].clear();
    caretPending_[Index(c)] = false;  // a new text starts with the caret at its start
    ChangeSoon();
}

std::string FrmGlavna::Text(Control c) const { return texts_[Index(c)]; }

void FrmGlavna::AppendText(Control c, const std::string& text) {
    texts_[Index(c)] += text;
    // A whole text still waiting for its widget already holds the addition.
    if (textPending_[Index(c)]) {
        ChangeSoon();
        return;
    }
    appendPending_[Index(c)] += text;
    // The box lays out a changed line anew in its whole length, and a listing appends to one
    // line once per entry without yielding: additions that follow closely are gathered and put
    // on the box at most kRepaintsPerSecond times a second even when the loop does not turn.
    // Whatever is kept is shown by the next change after the interval, the next yield, box or
    // close.
    if (MayKeep() || AppendMayWait()) {
        ApplyByTimer();
    } else {
        ApplyPending();
    }
}

bool FrmGlavna::AppendMayWait() const {
    // At least as long as putting the last changes on the screen took: a line that takes long
    // to lay out is laid out less often, so that layout never takes more than half the time.
    const auto wait = std::max<std::chrono::steady_clock::duration>(kApplyInterval, lastApplyCost_);
    return std::chrono::steady_clock::now() - lastApplyEnd_ < wait;
}

void FrmGlavna::SetEnabled(Control c, bool enabled) { Widget(c)->setEnabled(enabled); }

void FrmGlavna::SetVisible(Control c, bool visible) { Widget(c)->setVisible(visible); }

void FrmGlavna::Move(Control c, TwipRect rect) {
    bounds_[c] = rect;
    Place(c, rect);
    if (c == Control::FrmGlavna) {
        move(TwipsToPixels(rect.left, dotsPerInch_), TwipsToPixels(rect.top, dotsPerInch_));
    }
}

TwipRect FrmGlavna::Bounds(Control c) const { return bounds_.at(c); }

void FrmGlavna::Refresh(Control c) {
    const bool onlyAppended = !textPending_[Index(c)] && !appendPending_[Index(c)].empty();
    if (MayKeep() || (onlyAppended && AppendMayWait())) {
        ApplyByTimer();  // the kept changes are painted when the timer applies them
        return;
    }
    ApplyPending();
    Widget(c)->repaint();
}

void FrmGlavna::SetCaretToEnd(Control c) {
    // A kept text would put the caret back at the start when it is applied.
    if (textPending_[Index(c)]) ApplyPending();
    // Kept additions: the caret goes to the end when they are put on the box.
    if (!appendPending_[Index(c)].empty()) {
        caretPending_[Index(c)] = true;
        return;
    }
    MoveCaretToEnd(c);
}

void FrmGlavna::MoveCaretToEnd(Control c) {
    if (auto* box = qobject_cast<QPlainTextEdit*>(Widget(c))) {
        box->moveCursor(QTextCursor::End);
        box->ensureCursorVisible();
    }
}

void FrmGlavna::SetProgressMax(float max) {
    progressMax_ = max;
    progressPending_ = true;
    ChangeSoon();
}

void FrmGlavna::SetProgressValue(float value) {
    progressValue_ = value;
    progressPending_ = true;
    ChangeSoon();
}

// Keeping a change is only safe when the message loop will soon run the timer that applies it.
// This runs several times for every read of a download: the cheap clock decides whether the
// loop still turns, and the exact one is read only when no kept change waits for the timer.
bool FrmGlavna::MayKeep() const {
    const bool loopTurning =
        workOffGuiThread_ || CoarseClock::now() - lastDoEvents_ < kApplyInterval;
    if (!loopTurning) return false;
    if (applyTimer_.isActive()) return true;
    return std::chrono::steady_clock::now() - lastApplied_ < kApplyInterval;
}

void FrmGlavna::ChangeSoon() {
    if (MayKeep()) {
        ApplyByTimer();
    } else {
        ApplyPending();
    }
}

void FrmGlavna::ApplyByTimer() {
    if (applyTimer_.isActive()) return;
    const auto sinceLast = std::chrono::steady_clock::now() - lastApplied_;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kApplyInterval - sinceLast);
    applyTimer_.start(static_cast<int>(std::max<std::int64_t>(wait.count(), 1)));
}

void FrmGlavna::ApplyPending() {
    applyTimer_.stop();
    lastApplied_ = std::chrono::steady_clock::now();
    const auto pending = std::exchange(textPending_, {});
    auto appended = std::exchange(appendPending_, {});
    const auto caret = std::exchange(caretPending_, {});
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (pending[i]) {
            ApplyText(static_cast<Control>(i), texts_[i]);
        } else if (!appended[i].empty()) {
            ApplyAppended(static_cast<Control>(i), appended[i]);
        }
        if (caret[i]) MoveCaretToEnd(static_cast<Control>(i));
    }
    if (progressPending_) ApplyProgress();
    progressPending_ = false;
    lastApplyEnd_ = std::chrono::steady_clock::now();
    lastApplyCost_ = lastApplyEnd_ - lastApplied_;
}

void FrmGlavna::ApplyText(Control c, const std::string& text) {
    QWidget* widget = Widget(c);
    if (c == Control::FrmGlavna) {
        setWindowTitle(QString::fromStdString(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(ToQt(text));
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        frame->setTitle(ToQt(text));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(ToQt(text));  // "&" marks the mnemonic, as in the captions
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        box->setPlainText(ToQt(text));
    }
}

void FrmGlavna::ApplyAppended(Control c, const std::string& tail) {
    auto* box = qobject_cast<QPlainTextEdit*>(Widget(c));
    if (box == nullptr) {
        ApplyText(c, texts_[Index(c)]);  // captions are short: set them whole
        return;
    }
    // A CR LF split between two appends: the CR has already been shown as a line break.
    const std::string& whole = texts_[Index(c)];
    const std::size_t start = whole.size() - tail.size();
    const bool splitLineEnd = start > 0 && whole[start - 1] == '\r' && tail.front() == '\n';
    // Inserted through a cursor of its own at the end; where the caret goes is SetCaretToEnd's.
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ToQt(splitLineEnd ? tail.substr(1) : tail));
}

void FrmGlavna::ApplyProgress() {
    auto* bar = static_cast<QProgressBar*>(Widget(Control::PrgBar));
    double fraction = progressMax_ > 0 ? double(progressValue_) / double(progressMax_) : 0.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    bar->setValue(static_cast<int>(std::lround(fraction * kBarSteps)));
}

MsgAnswer FrmGlavna::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::optional<std::string>& title) {
    ApplyPending();
    return ShowQtMessageBox(this, text, icon, buttons, title.value_or(appTitle_));
}

void FrmGlavna::DoEvents() {
    lastDoEvents_ = CoarseClock::now();
    // A pass with nothing to do would only poll; input and paint requests wake the dispatcher
    // up, so they are still handled on the first yield after they arrive.
    if (!messageLoop_.MayHaveWork()) return;
    QCoreApplication::processEvents();
}

void FrmGlavna::SetCursor(Cursor cursor) {
    if (cursor == Cursor::Default) {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    } else if (QGuiApplication::overrideCursor()) {
        QGuiApplication::changeOverrideCursor(QtCursor(cursor));
    } else {
        QGuiApplication::setOverrideCursor(QtCursor(cursor));
    }
}

void FrmGlavna::CloseWindow() {
    ApplyPending();
    closingByProgram_ = true;
    close();
    closingByProgram_ = false;
}

void FrmGlavna::closeEvent(QCloseEvent* event) {
    const bool byProgram = closingByProgram_;
    const bool allowed = onCloseRequest_ ? onCloseRequest_(byProgram) : byProgram;
    if (allowed) {
        event->accept();
    } else {
        event->ignore();
    }
}

void FrmGlavna::EndProgram(int exitCode) {
    // At once: no close handlers, no destructors, no exit handlers.
    std::_Exit(exitCode);
}

void FrmGlavna::RunOffUiThread(const std::function<void()>& work) {
    ApplyPending();
    QEventLoop loop;
    InputBlocker blocker(this);
    workOffGuiThread_ = true;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            // Carried back and raised again on this thread once the loop has stopped.
            failure = std::current_exception();
        }
        // Posted by name: then the posted call is Qt's own object, which nothing of this
        // program's code touches on the way (see GuiThreadView::Call for why that matters to
        // the thread checker). `failure` reaches this thread through join().
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    workOffGuiThread_ = false;
    ApplyPending();
    if (failure) std::rethrow_exception(failure);
}
