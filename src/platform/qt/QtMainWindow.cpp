#include "platform/qt/QtMainWindow.h"

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

QtMainWindow::QtMainWindow(std::string windowTitle, std::string appTitle)
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
    throttle_.Preset(Control::FrmGlavna, windowTitle);
    setWindowTitle(QString::fromStdString(windowTitle));
    CreateControls();

    applyTimer_.setSingleShot(true);
    connect(&applyTimer_, &QTimer::timeout, this, [this] { ApplyPending(); });
}

QtMainWindow::~QtMainWindow() = default;

void QtMainWindow::CreateControls() {
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
        throttle_.Preset(design.id, design.caption);
        ShowText(design.id, design.caption);
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

QWidget* QtMainWindow::Widget(Control control) const { return widgets_.at(control); }

void QtMainWindow::Place(Control c, TwipRect rect) {
    const PixelRect px = TwipsToPixels(rect, dotsPerInch_);
    if (c == Control::FrmGlavna) {
        setFixedSize(px.width, px.height);
    } else {
        widgets_.at(c)->setGeometry(px.x, px.y, px.width, px.height);
    }
}

void QtMainWindow::ShowCentred() {
    ApplyPending();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
}

void QtMainWindow::SetText(Control c, const std::string& text) { throttle_.SetText(c, text); }

std::string QtMainWindow::Text(Control c) const { return throttle_.Text(c); }

void QtMainWindow::AppendText(Control c, const std::string& text) { throttle_.AppendText(c, text); }

void QtMainWindow::SetEnabled(Control c, bool enabled) { Widget(c)->setEnabled(enabled); }

void QtMainWindow::SetVisible(Control c, bool visible) { Widget(c)->setVisible(visible); }

void QtMainWindow::Move(Control c, TwipRect rect) {
    bounds_[c] = rect;
    Place(c, rect);
    if (c == Control::FrmGlavna) {
        move(TwipsToPixels(rect.left, dotsPerInch_), TwipsToPixels(rect.top, dotsPerInch_));
    }
}

TwipRect QtMainWindow::Bounds(Control c) const { return bounds_.at(c); }

void QtMainWindow::Refresh(Control c) {
    if (throttle_.Refresh(c)) Widget(c)->repaint();
}

void QtMainWindow::SetCaretToEnd(Control c) { throttle_.SetCaretToEnd(c); }

void QtMainWindow::ShowCaretAtEnd(Control c) {
    if (auto* box = qobject_cast<QPlainTextEdit*>(Widget(c))) {
        box->moveCursor(QTextCursor::End);
        box->ensureCursorVisible();
    }
}

void QtMainWindow::SetProgressMax(float max) { throttle_.SetProgressMax(max); }

void QtMainWindow::SetProgressValue(float value) { throttle_.SetProgressValue(value); }

// Runs several times for every read of a download: the cheap clock is enough here.
bool QtMainWindow::YieldedLately() const {
    return CoarseClock::now() - lastDoEvents_ < RepaintThrottle::kApplyInterval;
}

bool QtMainWindow::StartTimer(std::chrono::milliseconds wait) {
    applyTimer_.start(static_cast<int>(wait.count()));
    return true;
}

void QtMainWindow::ShowText(Control c, const std::string& text) {
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

void QtMainWindow::ShowAppended(Control c, const std::string& tail) {
    auto* box = static_cast<QPlainTextEdit*>(Widget(c));
    // Inserted through a cursor of its own at the end; where the caret goes is SetCaretToEnd's.
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ToQt(tail));
}

void QtMainWindow::ShowProgress(int barStep) {
    static_cast<QProgressBar*>(Widget(Control::PrgBar))->setValue(barStep);
}

MsgAnswer QtMainWindow::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::optional<std::string>& title) {
    ApplyPending();
    return ShowQtMessageBox(this, text, icon, buttons, title.value_or(appTitle_));
}

void QtMainWindow::DoEvents() {
    lastDoEvents_ = CoarseClock::now();
    // A pass with nothing to do would only poll; input and paint requests wake the dispatcher
    // up, so they are still handled on the first yield after they arrive.
    if (!messageLoop_.MayHaveWork()) return;
    QCoreApplication::processEvents();
}

void QtMainWindow::SetCursor(Cursor cursor) {
    if (cursor == Cursor::Default) {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    } else if (QGuiApplication::overrideCursor()) {
        QGuiApplication::changeOverrideCursor(QtCursor(cursor));
    } else {
        QGuiApplication::setOverrideCursor(QtCursor(cursor));
    }
}

void QtMainWindow::CloseWindow() {
    ApplyPending();
    closingByProgram_ = true;
    close();
    closingByProgram_ = false;
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    const bool byProgram = closingByProgram_;
    const bool allowed = onCloseRequest_ ? onCloseRequest_(byProgram) : byProgram;
    if (allowed) {
        event->accept();
    } else {
        event->ignore();
    }
}

void QtMainWindow::EndProgram(int exitCode) {
    // At once: no close handlers, no destructors, no exit handlers.
    std::_Exit(exitCode);
}

void QtMainWindow::RunOffUiThread(const std::function<void()>& work) {
    ApplyPending();
    QEventLoop loop;
    InputBlocker blocker(this);
    throttle_.SetWorkOffThread(true);
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
    throttle_.SetWorkOffThread(false);
    ApplyPending();
    if (failure) std::rethrow_exception(failure);
}
