#include "app/MixerProgram.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <string>

extern char** environ;

namespace app {

namespace {

// How often the window looks whether a started program has ended.
constexpr int kReapIntervalMs = 500;

struct Terminal {
    const char* program;
    const char* runOption;  // what precedes the command to run
};

// Debian's chosen terminal first, then the common ones.
constexpr Terminal kTerminals[] = {
    {"x-terminal-emulator", "-e"}, {"xterm", "-e"},          {"konsole", "-e"},
    {"xfce4-terminal", "-x"},      {"gnome-terminal", "--"},
};

}  // namespace

QString findProgram(const QString& name, const QString& searchPath) {
    auto executable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    if (name.contains(QLatin1Char('/'))) return executable(name) ? name : QString();
    for (const QString& dir : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString candidate = dir + QLatin1Char('/') + name;
        if (executable(candidate)) return candidate;
    }
    return {};
}

QStringList mixerCommand(const QString& configured, const QString& searchPath) {
    if (!configured.isEmpty()) return QProcess::splitCommand(configured);
    for (const char* desk : {"pavucontrol", "qasmixer"}) {
        const QString found = findProgram(QString::fromLatin1(desk), searchPath);
        if (!found.isEmpty()) return {found};
    }
    // alsamixer runs in a terminal.
    const QString alsamixer = findProgram(QStringLiteral("alsamixer"), searchPath);
    if (alsamixer.isEmpty()) return {};
    for (const Terminal& terminal : kTerminals) {
        const QString found = findProgram(QString::fromLatin1(terminal.program), searchPath);
        if (!found.isEmpty()) return {found, QString::fromLatin1(terminal.runOption), alsamixer};
    }
    return {};
}

ChildReaper::ChildReaper(QObject* parent) : QObject(parent) {
    timer_.setInterval(kReapIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &ChildReaper::reap);
}

bool ChildReaper::start(const QStringList& command) {
    if (command.isEmpty()) return false;
    std::vector<std::string> words;
    for (const QString& word : command) words.push_back(word.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    children_.push_back(pid);
    timer_.start();
    return true;
}

void ChildReaper::reap() {
    std::erase_if(children_, [](pid_t pid) {
        int status = 0;
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        return result == pid || result < 0;  // ended, or not ours to wait for any more
    });
    if (children_.empty()) timer_.stop();
}

}  // namespace app
