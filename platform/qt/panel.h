// A widget shown as a panel inside another window (a prompt or a message box over the
// fullscreen saver, where the compositor keeps the keyboard with the saver) has no frame of the
// window system's: it takes the desktop's colours, not its parent's, and draws its caption in a
// title bar of its own.
#pragma once

class QPainter;
class QRect;
class QString;
class QWidget;

namespace plenova::platform {

// The desktop's window and text colours for `panel`, instead of those of the window it is in.
void UseDesktopColours(QWidget& panel);

// The height of a panel's title bar in `panel`'s font.
int PanelTitleHeight(const QWidget& panel);

// Draws the title bar `bar` of `panel` with `title`, in the highlight colours.
void PaintPanelTitle(QPainter& painter, const QWidget& panel, const QRect& bar,
                     const QString& title);

}  // namespace plenova::platform
