#include "platform/qt/InputBlocker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

InputBlocker::InputBlocker(QWidget* window) : window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker() { QCoreApplication::instance()->removeEventFilter(this); }

bool InputBlocker::IsUserInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:  // mnemonics such as Alt+O reach the button this way
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

bool InputBlocker::eventFilter(QObject* target, QEvent* event) {
    if (!IsUserInput(event) || !target->isWidgetType()) return false;
    return static_cast<QWidget*>(target)->window() == window_;
}
