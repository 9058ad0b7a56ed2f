#include "app/ScreenFit.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The window manager's frame around `window`: known once the window was on screen; before,
// room is left for a title bar.
QMargins frameOf(const QWidget* window) {
    QMargins frame;
    if (const QWindow* handle = window->windowHandle())
        frame = handle->frameMargins();
    if (frame.isNull())
        frame.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    return frame;
}

// The room for `window`'s inside on its screen; empty when there is no screen.
QSize roomFor(const QWidget* window) {
    const QScreen* screen = screenFor(window);
    return screen == nullptr ? QSize()
                             : screen->availableGeometry().marginsRemoved(frameOf(window)).size();
}

} // namespace

QScreen* screenFor(const QWidget* window) {
    if (const QWidget* parent = window->parentWidget())
        return parent->window()->screen();
    if (const QScreen* primary = QGuiApplication::primaryScreen();
        primary != nullptr && primary->virtualSiblings().size() > 1) {
        if (QScreen* under = QGuiApplication::screenAt(QCursor::pos()))
            return under;
    }
    return window->screen();
}

void fitOnScreen(QWidget* window) {
    const QSize room = roomFor(window);
    if (room.isEmpty())
        return;
    // Spacing wider than the style's own gives way first, before the window goes off screen.
    if (QLayout* layout = window->layout(); layout != nullptr && layout->spacing() != -1) {
        const QSize needed = layout->minimumSize();
        if (needed.width() > room.width() || needed.height() > room.height()) {
            layout->setSpacing(-1);
            layout->activate();
        }
    }
    // The layout's minimum size still holds: resize() goes no smaller.
    window->resize(window->size().boundedTo(room));
}

void keepOnScreen(QWidget* window) {
    const QScreen* screen = screenFor(window);
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = window->geometry().marginsAdded(frameOf(window));
    // The top left corner wins where the window is larger than the room: the title bar stays.
    QPoint shift(std::min(0, room.right() - frame.right()),
                 std::min(0, room.bottom() - frame.bottom()));
    shift.setX(std::max(shift.x(), room.left() - frame.left()));
    shift.setY(std::max(shift.y(), room.top() - frame.top()));
    if (!shift.isNull())
        window->move(window->pos() + shift);
}

void centreOnParent(QWidget* window) {
    const QWidget* parent = window->parentWidget();
    QRect over;
    if (parent != nullptr && parent->window()->isVisible())
        over = parent->window()->frameGeometry();
    else if (const QScreen* screen = screenFor(window))
        over = screen->availableGeometry();
    if (over.isEmpty())
        return;
    // The whole window, its frame included, from where its frame begins (pos()).
    const QRect frame(window->pos(), window->size().grownBy(frameOf(window)));
    window->move(window->pos() + over.center() - frame.center());
    keepOnScreen(window);
}

bool FittingMessageBox::event(QEvent* event) {
    const bool handled = QMessageBox::event(event);
    // The box sizes itself anew on a layout request.
    if (event->type() == QEvent::LayoutRequest && isVisible())
        narrow();
    return handled;
}

void FittingMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event); // sizes the box
    narrow();
    centreOnParent(this);
}

void FittingMessageBox::resizeEvent(QResizeEvent* event) {
    QMessageBox::resizeEvent(event);
    // "Show Details..." sizes the shown box anew, without a layout request: wider, taller, and
    // perhaps beyond the screen's edges.
    if (isVisible()) {
        narrow();
        keepOnScreen(this);
    }
}

void FittingMessageBox::narrow() {
    const QSize room = roomFor(this);
    if (room.isEmpty() || width() <= room.width())
        return;
    // Too wide only for a word longer than a line, which the box then already breaks anywhere.
    layout()->activate();
    setFixedSize(room.width(), layout()->hasHeightForWidth()
                                   ? layout()->totalHeightForWidth(room.width())
                                   : height());
    // Else the request would size the box as before, and this again, without end.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}
