#pragma once

// Answers the modal windows that a call under test opens. The call blocks inside the window's own
// event loop, so the answers come from a timer: each new modal window is described, then handed
// to the next answer of the script. A window for which no answer is left, or which its answer
// did not close within the time limit, is closed by force and marks the script as failed, so a
// test ends instead of hanging.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace app_testing {

/// What a modal window showed when it came up.
struct ShownWindow {
    QString title;
    QString text;           // message boxes only
    QString informative;    // message boxes only
    QString details;        // message boxes only
    QStringList buttons;    // message boxes only, sorted
    QString default_button; // message boxes only
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class ModalScript : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalScript(std::vector<Answer> answers = {}, int limit_ms = 5000)
        : answers_(std::move(answers)), limit_ms_(limit_ms) {
        connect(&poll_, &QTimer::timeout, this, &ModalScript::poll);
        poll_.start(20);
    }

    [[nodiscard]] const std::vector<ShownWindow>& shown() const { return shown_; }
    /// Titles of the windows shown, in order.
    [[nodiscard]] QStringList titles() const {
        QStringList result;
        for (const ShownWindow& window : shown_)
            result << window.title;
        return result;
    }
    /// True when a window came up unexpected or stayed open after its answer.
    [[nodiscard]] bool forced() const { return forced_; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            current_ = nullptr;
            return;
        }
        if (modal != current_) {
            current_ = modal;
            since_.start();
            shown_.push_back(describe(modal));
            if (next_ >= answers_.size()) {
                forceClose(modal);
                return;
            }
            // Answered from a fresh timer event, so that a window the answer itself opens is
            // polled for too (a timer does not fire again while its own slot runs).
            QTimer::singleShot(0, this, [answer = answers_[next_++], window = QPointer(modal)] {
                if (window != nullptr)
                    answer(window);
            });
            return;
        }
        if (since_.elapsed() > limit_ms_)
            forceClose(modal);
    }

    void forceClose(QWidget* modal) {
        forced_ = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
    }

    static ShownWindow describe(QWidget* modal) {
        ShownWindow window;
        window.title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            window.text = box->text();
            window.informative = box->informativeText();
            window.details = box->detailedText();
            for (QAbstractButton* button : box->buttons())
                window.buttons << button->text();
            window.buttons.sort();
            if (box->defaultButton() != nullptr)
                window.default_button = box->defaultButton()->text();
            window.icon = box->icon();
        }
        return window;
    }

    std::vector<Answer> answers_;
    std::size_t next_ = 0;
    int limit_ms_;
    QTimer poll_;
    QPointer<QWidget> current_;
    QElapsedTimer since_;
    std::vector<ShownWindow> shown_;
    bool forced_ = false;
};

/// Presses `key` where the keyboard focus of `window` is, as a user would.
inline ModalScript::Answer pressKey(Qt::Key key) {
    return [key](QWidget* window) {
        QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
        QTest::keyClick(target, key);
    };
}

/// Clicks the message box button labelled `text`.
inline ModalScript::Answer clickButton(const QString& text) {
    return [text](QWidget* window) {
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == text) {
                    QTest::mouseClick(button, Qt::LeftButton);
                    return;
                }
            }
        }
    };
}

/// Closes the window as its title bar's close button would.
inline ModalScript::Answer closeWindow() {
    return [](QWidget* window) { window->close(); };
}

} // namespace app_testing
