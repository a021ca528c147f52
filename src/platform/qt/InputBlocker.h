#pragma once

#include <QObject>

class QWidget;

// While it lives, every keyboard, mouse, wheel, touch and shortcut event aimed at the given
// window is thrown away (not queued for later). Other windows, such as a message box shown
// meanwhile, keep their input.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget* window);
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

    static bool IsUserInput(const QEvent* event);

protected:
    bool eventFilter(QObject* target, QEvent* event) override;

private:
    QWidget* window_;
};
