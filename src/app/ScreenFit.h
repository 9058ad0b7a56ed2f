#pragma once

// Windows of the dialog that must fit the screen they open on: with a large text scale (Qt's
// scale factor, a desktop's font size) their designed size can be wider or taller than the
// screen, and a button beyond the screen's edge cannot be pressed.

#include <QMessageBox>

class QScreen;
class QWidget;

/// The screen that `window` opens on: its parent's, else the one under the mouse pointer on a
/// desktop of several screens, as a dialog places itself.
QScreen* screenFor(const QWidget* window);

/// Shrinks `window` (a top-level widget) to the room on its screen, title bar and borders
/// included, and no smaller than its layout allows; a layout spaced wider than the style would
/// space it is tightened when that is not small enough. Called before it shows.
void fitOnScreen(QWidget* window);

/// Moves `window`, title bar and borders included, within its screen where it placed itself
/// partly beyond an edge. Called once it has placed itself, before it shows.
void keepOnScreen(QWidget* window);

/// Moves `window` (a box, a list, a chooser) so that it stands centred on the window it belongs
/// to, or on its screen while that window is not shown yet (where that window will place itself
/// too), then within the screen. Called once it has placed itself, before it shows: the
/// toolkit's own placement is left to the window manager, which may put it anywhere, at the
/// screen's top left corner among others.
void centreOnParent(QWidget* window);

/// A message box within its screen: the toolkit makes a box with a long path in it as wide as a
/// small screen, and puts the window manager's borders beyond its edges.
class FittingMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void narrow();
};
