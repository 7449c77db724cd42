// The mixing desk command: which mixer program to start, and starting it without waiting. The
// program runs on its own; the window reaps it when it ends, so that no zombie is left behind.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace app {

// The command line of the mixer program: `configured` (a command line, as --mixer-program gives
// it) when not empty; otherwise the first found on `searchPath` (colon-separated, as PATH) of
// pavucontrol, qasmixer, and alsamixer in a terminal emulator that is present. Empty when none.
QStringList mixerCommand(const QString& configured, const QString& searchPath);

// The program's full path when `name` is an executable file on `searchPath` (or, holding a slash,
// is one itself); empty otherwise.
QString findProgram(const QString& name, const QString& searchPath);

class ChildReaper final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChildReaper)

  public:
    explicit ChildReaper(QObject* parent = nullptr);

    // Starts `command` (program first) without waiting; false when it cannot be started.
    bool start(const QStringList& command);
    // Children started and not yet reaped.
    size_t running() const { return children_.size(); }

  private:
    void reap();

    std::vector<pid_t> children_;
    QTimer timer_;
};

}  // namespace app
