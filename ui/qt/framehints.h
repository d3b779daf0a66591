// SPDX-License-Identifier: MIT
#pragma once
// The frame a fixed-size dialog asks the window manager for: a caption with the window menu, a
// minimise box and a close box, and a border that does not size the window; no maximise box.
// Qt's own hints always offer sizing for a framed window, fixed size or not.

class QWidget;

// Call once the window's native window exists and before it is shown; a platform without window
// manager hints (the offscreen one) ignores it.
void OfferFixedDialogFrame(QWidget& window);
