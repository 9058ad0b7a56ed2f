#include "app/QuestionBox.h"

#include "app/CoreText.h"

#include <QPushButton>

QuestionBox::QuestionBox(const logbook::DialogQuestion& question, QWidget* parent)
    : FittingMessageBox(QMessageBox::Warning, fromCore(question.title), fromCore(question.text),
                        QMessageBox::NoButton, parent) {
    // A path may hold "<": it is a name, never markup.
    setTextFormat(Qt::PlainText);
    yes_ = addButton(fromCore(logbook::dialog::kYes), QMessageBox::YesRole);
    QPushButton* no = addButton(fromCore(logbook::dialog::kNo), QMessageBox::NoRole);
    setDefaultButton(question.yes_by_default ? yes_ : no);
    setEscapeButton(no);
    // Hundreds of flights would make the box taller than any screen: they scroll in the details.
    if (!question.details.empty())
        setDetailedText(fromCore(question.details));
}

bool QuestionBox::ask() {
    exec();
    // "&No", Escape and closing the box all leave things as they are.
    return clickedButton() == yes_;
}
