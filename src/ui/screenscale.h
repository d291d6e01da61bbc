// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Qt on X11 takes its logical DPI from the Xft.dpi resource alone and otherwise assumes 96, so
// on a server set to another resolution (Xvfb -dpi 144, DisplaySize in xorg.conf) the window
// would keep its 96 dpi size and its text would be tiny. These let the server's resolution count.

/// The resolution to lay the window out at, for a screen of widthPixels over widthMillimetres:
/// rounded to a step of 24 dpi (the quarter steps of 96 that Windows offers) and never below 96,
/// so that a monitor's slightly wrong size neither shrinks the window nor blurs it by a few
/// percent. 96 where the size is unknown or beyond belief (over 480 dpi).
int layoutDpi(int widthPixels, int widthMillimetres);

/// Before the application object: when neither the user (Qt's scaling variables) nor the desktop
/// (Xft.dpi) has chosen a scale, hands the X server's resolution to Qt as the logical DPI.
void adoptServerDpi();
