#include "app/QuestionBox.h"

#include "app/CoreText.h"

#include <QPushButton>

QuestionBox::QuestionBox(const logbook::DialogQuestion& question, QWidget* parent)
    : FittingMessageBox(QMessageBox::Warning, fromCore(question.title), fromCore(question.text),
                        QMessageBox::NoButton, parent) {
    // A path may hold "<": it is a name, never markup.
    setTextFormat(Qt::PlainText);
    yes_ = addButton(fromCore(logbook::dialog::kYes), QMessageBox::YesRole);
    no_ = addButton(fromCore(logbook::dialog::kNo), QMessageBox::NoRole);
    setDefaultButton(question.yes_by_default ? yes_ : no_);
    // A question whose "&No" goes on (drops flights, keeps a logbook) has "Cancel" for stopping:
    // Escape and the close button press it, never "&No".
    if (question.can_cancel)
        setEscapeButton(addButton(fromCore(logbook::dialog::kCancel), QMessageBox::RejectRole));
    else
        setEscapeButton(no_);
    // Hundreds of flights would make the box taller than any screen: they scroll in the details.
    if (!question.details.empty())
        setDetailedText(fromCore(question.details));
}

logbook::Answer QuestionBox::ask() {
    exec();
    if (clickedButton() == yes_)
        return logbook::Answer::Yes;
    return clickedButton() == no_ ? logbook::Answer::No : logbook::Answer::Cancel;
}
