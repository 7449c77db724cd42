// Closes a window when the process is asked to terminate (SIGTERM, SIGINT, SIGHUP), so that the
// window's close handler runs as if the user had closed it: volumes are put back and the outputs
// the command line asked for are written.
#pragma once

class QWidget;

namespace window {

// Call once, on the UI thread, after the window exists. The window must outlive the event loop.
void closeOnTerminationSignals(QWidget& window);

}  // namespace window
