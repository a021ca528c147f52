#pragma once

// Settles how Qt runs before the QApplication is made; call it first thing in main.
//
// The program yields to the message loop once for every 512-byte read of a download. Qt's GLib
// event dispatcher spends about 25 microseconds on each such yield, which made a download with
// the window some thirty times slower than without it; Qt's own Unix dispatcher spends a tenth
// of that. The program needs nothing of GLib's main loop, so it uses Qt's own, unless the
// environment already chose (QT_NO_GLIB set).
void PrepareQtEnvironment();
