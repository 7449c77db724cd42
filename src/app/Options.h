// The program's command line: which sound card to use, and the headless run with its outputs.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace app {

// The signal of the simulated card.
enum class SimSignal {
    Demo,      // 500 Hz square on R (the card's first input), 250 Hz sine on L
    Square,    // 500 Hz square on both inputs
    Silence,   // nothing on either input
    Loopback,  // the card's own playback on both inputs
    File,      // a stereo (or mono) WAV file, 44100 frames/s, played in a loop
    Pulse,     // a pulse train on both inputs, optionally as a real LINE IN delivers it
};

// The pulse train of SimSignal::Pulse.
struct SimPulse {
    double frequency = 0.0;    // Hz, above 0, at most 22050
    double dutyPercent = 0.0;  // above 0, below 100
    bool lineIn = false;       // through the model of a real LINE IN (coupling, filter, noise)
};

struct Options {
    QString captureDevice = QStringLiteral("default");  // ALSA PCM names
    QString playbackDevice = QStringLiteral("default");
    QString mixerDevice;   // ALSA control name; empty: the card behind the capture device
    QString mixerProgram;  // the mixing desk command's program; empty: the first one found
    bool simulated = false;
    SimSignal simSignal = SimSignal::Demo;
    QString simFile;                 // with SimSignal::File
    SimPulse simPulse;               // with SimSignal::Pulse
    bool simLoopbackLineIn = false;  // with SimSignal::Loopback: through a LINE IN's coupling
    std::optional<int> passes;       // headless: run exactly this many idle passes, then exit
    QString reportPath;              // JSON report of the read-outs and key state
    QString screenshotPath;          // picture of the window, in a format Qt can write
    bool showGenerator = false;      // the bottom strip shows the generator's controls at start
    bool selfTest = false;           // play the generator into the capture and check what arrives
    bool measure = false;            // headless: print the measurement table of the last capture
    // --calibrate R=VOLTS,L=VOLTS: the amplitude of a channel's last capture in volts, kept as
    // the calibration (R first; none: not calibrated in this run).
    std::array<std::optional<double>, 2> calibrate;
    // --logic R,L / none: which channels carry a logic signal, kept for later runs; none: as kept.
    std::optional<std::array<bool, 2>> logic;
};

// Idle passes of a headless run without --passes: enough for a full capture run of four buffers
// and its drawing.
inline constexpr int kDefaultHeadlessPasses = 20;

struct ParsedCommandLine {
    enum class Outcome { Run, Help, Version, Error };
    Outcome outcome = Outcome::Run;
    Options options;
    // Help: the help text; Version: "soundscope VERSION" and a newline; Error: one line naming
    // the bad option or value
    QString text;
};

// `arguments` starts with the program's name, as QCoreApplication::arguments() does.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// Exit status of a command line the program cannot run with.
inline constexpr int kUsageExitStatus = 2;

}  // namespace app
