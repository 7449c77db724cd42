// The window's use of the card's mixer: the device volumes saved at start-up, the mixer set up for
// measuring (LINE IN alone recorded, the playback levels full, the other recording levels off),
// every value it changes kept and put back when the program ends, and the mixing desk command.
#include <QString>
#include <cstdio>
#include <string>

#include "app/MixerProgram.h"
#include "app/TForm1.h"
#include "platform/MixerDriver.h"

namespace app {

namespace {

constexpr int32_t kFullLevel = 65535;
constexpr int32_t kLevelOff = 0;

// The volume a read gave, or nothing when it failed.
template <typename Read>
std::optional<uint32_t> readVolume(Read read) {
    uint32_t volume = 0;
    if (platform::failed(read(volume))) return std::nullopt;
    return volume;
}

void printLine(const std::string& text) {
    std::fprintf(stderr, "soundscope: %s\n", text.c_str());
}

}  // namespace

// Before any change to the mixer: wave output, then the auxiliary devices 3, 2, 4, 1, 5. A device
// the card lacks is not saved, and so not written back. A start-up run again before the end keeps
// what the first one found.
void TForm1::saveVolumes() {
    if (volumesSaved_ && !restored_) return;
    volumesSaved_ = true;
    restored_ = false;
    SavedWaveOutVolume = readVolume([this](uint32_t& v) { return volumes_.waveOutVolume(v); });
    for (auto [id, saved] : {std::pair{3u, &SavedAuxVolume3}, std::pair{2u, &SavedAuxVolume2},
                             std::pair{4u, &SavedAuxVolume4}, std::pair{1u, &SavedAuxVolume1},
                             std::pair{5u, &SavedAuxVolume5}}) {
        *saved = readVolume([this, id](uint32_t& v) { return volumes_.auxVolume(id, v); });
    }
}

void TForm1::restoreVolumes() {
    if (SavedWaveOutVolume) volumes_.setWaveOutVolume(*SavedWaveOutVolume);
    for (auto [id, saved] : {std::pair{3u, &SavedAuxVolume3}, std::pair{2u, &SavedAuxVolume2},
                             std::pair{4u, &SavedAuxVolume4}, std::pair{1u, &SavedAuxVolume1},
                             std::pair{5u, &SavedAuxVolume5}}) {
        if (*saved) volumes_.setAuxVolume(id, **saved);
    }
}

bool TForm1::keepForRestore(const audio::TSource& line, int32_t index) {
    const audio::TAudioMixer& m = *AudioMixer1;
    if (!m.Handle || index < 0 || static_cast<size_t>(index) >= line.Controls.size()) return false;
    return mixerRestore_.save(*m.Handle, *line.Controls[static_cast<size_t>(index)], line.Channels);
}

// Both channels of a line's level, when the card has the line and the line has a level whose
// values could be kept for the end.
void TForm1::setMixerLevel(audio::TSource* line, int32_t level, bool rightFirst) {
    if (line == nullptr) return;
    audio::TVolume* volume = line->Volume();
    if (volume == nullptr || !keepForRestore(*line, line->VolumeIndex)) return;
    if (rightFirst) {
        volume->SetRight(level);
        volume->SetLeft(level);
    } else {
        volume->SetLeft(level);
        volume->SetRight(level);
    }
}

// A mixer that cannot be opened is told in the device notice (and on stderr), and the rest of its
// set-up is skipped; start-up goes on, so that the scope measures with the mixer as it is. Lines
// the card lacks are skipped. Every control written is read first and put back at the end
// (restoreMixer). A card without a LINE IN to select (a USB microphone, a sound server's control
// device) is told so too, and measures what it records: its inputs are not turned down, and the
// recording destination's own level, where it has one, is set as LINE's would be.
void TForm1::setUpMixer() {
    audio::TAudioMixer& m = *AudioMixer1;
    try {
        m.Open();
    } catch (const audio::EMixerID& e) {
        mixerError_ = QString::fromUtf8(e.what());
        // Without any device, the driver's detail says which one it tried and why it failed:
        // " (call(\"device\"): reason)".
        if (volumes_.deviceCount() == 0) {
            mixerError_ += QString::fromStdString(
                volumes_.errorReason(platform::MMResult::BadDeviceId).detailSuffix());
        }
    } catch (const audio::EMixerCaps& e) {
        mixerError_ = QString::fromUtf8(e.what());
    } catch (const audio::EMixerOpen& e) {
        mixerError_ = QString::fromUtf8(e.what());
    }
    const std::string name = volumes_.deviceName();
    if (!mixerError_.isEmpty()) {
        instrument_.showMixerNotice({"Směšovač „" + name + "“ není dostupný",
                                     mixerError_.toStdString(),
                                     "Měří se se vstupem a úrovněmi, jak je karta má."});
        return;
    }

    audio::TDestination* recording = m.RecordDestination;
    if (m.LineRecord != nullptr && recording != nullptr && recording->SelectIndex >= 0 &&
        keepForRestore(*recording, recording->SelectIndex)) {
        // Independent capture switches, the selector's items, change with it: their mutes keep
        // what the selection cannot say (several inputs on, or none).
        const audio::TAudioControl& selector =
            *recording->Controls[static_cast<size_t>(recording->SelectIndex)];
        for (uint32_t item = 0; item < selector.ItemCount && item < recording->Sources.size();
             ++item) {
            const audio::TSource& source = *recording->Sources[item];
            if (source.MuteIndex >= 0) keepForRestore(source, source.MuteIndex);
        }
        recording->SelectSource(m.LineRecord->SourceIndex);
    }
    if (m.LineRecord == nullptr) {
        instrument_.showMixerNotice(
            {"Směšovač „" + name + "“ nemá vstup LINE IN, který by šel vybrat",
             "měří se vstup, který karta právě nahrává.",
             {}});
    }
    setMixerLevel(m.WaveOut, kFullLevel);
    setMixerLevel(m.SpeakersDestination, kFullLevel);
    if (m.LineRecord != nullptr) {
        for (audio::TSource* line : {m.TelephoneRecord, m.CDRecord, m.AuxRecord, m.MicRecord})
            setMixerLevel(line, kLevelOff);
        // LINE IN: right first, then left.
        setMixerLevel(m.LineRecord, kFullLevel, true);
    } else {
        // What the card records reaches the scope at the level LINE's would have, not at
        // whatever the desktop's input slider says.
        setMixerLevel(recording, kFullLevel, true);
    }
}

// Everything start-up changed, as it was found: the mixer's controls, then the device volumes.
// Once, whichever way the program ends first (the window closed, a headless run or the self-test
// done, a start-up that failed).
void TForm1::restoreMixer() {
    if (restored_) return;
    restored_ = true;
    if (AudioMixer1->Active && AudioMixer1->Handle) {
        for (const std::string& failure : mixerRestore_.restore(*AudioMixer1->Handle, volumes_))
            printLine("the mixer could not be put back as it was: " + failure);
    }
    restoreVolumes();
}

std::optional<int32_t> TForm1::captureLevel(Channel channel) const {
    const audio::TAudioMixer& m = *AudioMixer1;
    if (!m.Active) return std::nullopt;
    audio::TSource* line = m.LineRecord != nullptr ? m.LineRecord : m.RecordDestination;
    if (line == nullptr) return std::nullopt;
    const audio::TVolume* volume = line->Volume();
    if (volume == nullptr) return std::nullopt;
    return channel == Channel::R ? volume->Left : volume->Right;
}

void TForm1::mixer1Click() {
    mixerPrograms_->start(mixerCommand(mixerProgram_, qEnvironmentVariable("PATH")));
}

size_t TForm1::mixerProgramsRunning() const {
    return mixerPrograms_->running();
}

}  // namespace app
