// The program ends on SIGTERM, SIGINT and SIGHUP as it ends when the user closes its window: the
// window's close handler runs (the card's mixer is put back) and the outputs the command line
// asked for are written. Also while a modal box is open (a start-up question, a message): the box
// is closed as by Escape first.
//
// Once installed, a signal (1) sets the flag that terminationRequested() reads, which loops without
// an event loop (headless passes, the self-test) ask between their steps; (2) in the event loop,
// closes every open modal box and then the window given to closeOnTermination, if any. A signal
// that arrives before there is a window only sets the flag: the program asks it once the window
// exists.
#pragma once

#include <QString>

class QWidget;

namespace window {

// Installs the handlers; once, on the UI thread, after the application object exists. Returns an
// empty text, or why the signals cannot be watched (they then end the program at once).
QString watchTerminationSignals();

// The window a signal closes from now on (null: none). It must outlive the event loop or be
// unset first.
void closeOnTermination(QWidget* window);

// Whether a termination signal has arrived; any thread.
bool terminationRequested();
// Which one ("SIGTERM", ...), or empty.
QString terminationSignalName();

}  // namespace window
