#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

// Answers the modal windows (message boxes, file dialogs, the program's own
// dialogs) that a command opens, as a person would: each new modal window
// goes to the next handler, in the order the windows appear. A window that
// no handler is left for is rejected, so a test never hangs on it.
class ModalDialogs {
public:
    using Handler = std::function<void(QWidget&)>;

    ModalDialogs()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    void expect(Handler handler) { handlers_.push_back(std::move(handler)); }
    bool allHandled() const { return handlers_.empty(); }

    QStringList titles; // of every modal window seen, in order
    int unexpected = 0; // windows that found no handler

private:
    void poll()
    {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || window == last_) return;
        last_ = window;
        titles << window->windowTitle();
        if (handlers_.empty()) {
            ++unexpected;
            if (auto* dialog = qobject_cast<QDialog*>(window))
                dialog->reject();
            else
                window->close();
            return;
        }
        const Handler handler = std::move(handlers_.front());
        handlers_.pop_front();
        handler(*window);
    }

    QTimer timer_;
    QPointer<QWidget> last_;
    std::deque<Handler> handlers_;
};
