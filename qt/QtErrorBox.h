#pragma once

#include "base/ErrorBox.h"

// Makes error boxes Qt message boxes: captioned, with the information icon and one OK
// button, modal, above every window (it has no owner), returning when dismissed. On the
// "offscreen" platform nobody could dismiss one, so the caption and text go to standard
// error instead and the call returns at once. Needs a QApplication; returns the sink
// installed before.
ErrorBoxSink installQtErrorBox();
