// Closes a window when the process is asked to terminate (SIGTERM, SIGINT, SIGHUP), so that the
// window's close handler runs as if the user had closed it: volumes are put back and the outputs
// the command line asked for are written.
#pragma once

#include <QString>

class QWidget;

namespace window {

// Call once, on the UI thread, after the window exists. The window must outlive the event loop.
// Returns an empty text, or why the signals cannot be watched (the program then ends on them
// without closing the window).
QString closeOnTerminationSignals(QWidget& window);

}  // namespace window
