#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icons of res/Icons.h as Qt pictures.

// The sizePx x sizePx image of icon iconId; a null pixmap when there is none.
QPixmap iconPixmap(int iconId, int sizePx);

// Every image of icon iconId (icon 107 has two sizes); an empty icon when there is none.
QIcon programIcon(int iconId);
