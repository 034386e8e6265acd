#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icons of res/Icons.h as Qt pictures.

// The sizePx x sizePx image of icon iconId; a null pixmap when there is none.
QPixmap iconPixmap(int iconId, int sizePx);

// The application icon, every size of res/AppIcon.h, for the program's windows.
QIcon applicationIcon();
