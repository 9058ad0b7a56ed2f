#pragma once

// A question of the core in a box with "&Yes" and "&No", and "Cancel" when the question has one:
// Enter answers as the question says, Escape and the title bar's close button press "Cancel" (or
// "&No" where there is none), and the question's details (the flights it
// is about, say) wait under "Show Details...", out of the way of the question itself.

#include "app/ScreenFit.h"
#include "logbook/DialogFlow.h"

class QPushButton;

class QuestionBox : public FittingMessageBox {
public:
    QuestionBox(const logbook::DialogQuestion& question, QWidget* parent);

    /// Shows the box until it is answered.
    logbook::Answer ask();

private:
    QPushButton* yes_;
    QPushButton* no_;
};
