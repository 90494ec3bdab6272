// The set-up that the product's own question windows (the codes window, the password window)
// share, so that every desktop shows them alike.
#pragma once

class QDialog;
class QVBoxLayout;

// The window's layout, top to bottom, at a width that gives a question's line of text room and
// a height that follows its content as lines come and go. The window takes exactly the size of
// its content: a tiling compositor (sway) floats a window that cannot be resized (its least
// size the same as its largest) as a dialog, where it would stretch any other window over the
// screen.
QVBoxLayout* questionLayout(QDialog* window);
