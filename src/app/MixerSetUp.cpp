// The window's use of the card's mixer: the device volumes saved at start-up and put back at
// close, the mixer set up for measuring (LINE IN alone recorded, the playback levels full, the
// other recording levels off), and the mixing desk command.
#include <QString>
#include <string>
#include <string_view>

#include "app/MixerProgram.h"
#include "app/TForm1.h"
#include "platform/WaveDriver.h"

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

// Both channels of a line's level, when the card has the line and the line has a level.
void setLevel(audio::TSource* line, int32_t level) {
    if (line == nullptr) return;
    if (audio::TVolume* volume = line->Volume()) {
        volume->SetLeft(level);
        volume->SetRight(level);
    }
}

}  // namespace

// Before any change to the mixer: wave output, then the auxiliary devices 3, 2, 4, 1, 5. A device
// the card lacks is not saved, and so not written back.
void TForm1::SaveVolumes() {
    SavedWaveOutVolume = readVolume([this](uint32_t& v) { return volumes_.waveOutVolume(v); });
    for (auto [id, saved] : {std::pair{3u, &SavedAuxVolume3}, std::pair{2u, &SavedAuxVolume2},
                             std::pair{4u, &SavedAuxVolume4}, std::pair{1u, &SavedAuxVolume1},
                             std::pair{5u, &SavedAuxVolume5}}) {
        *saved = readVolume([this, id](uint32_t& v) { return volumes_.auxVolume(id, v); });
    }
}

void TForm1::RestoreVolumes() {
    if (SavedWaveOutVolume) volumes_.setWaveOutVolume(*SavedWaveOutVolume);
    for (auto [id, saved] : {std::pair{3u, &SavedAuxVolume3}, std::pair{2u, &SavedAuxVolume2},
                             std::pair{4u, &SavedAuxVolume4}, std::pair{1u, &SavedAuxVolume1},
                             std::pair{5u, &SavedAuxVolume5}}) {
        if (*saved) volumes_.setAuxVolume(id, **saved);
    }
}

// A mixer that cannot be opened is told to the user, and the rest of its set-up is skipped;
// start-up goes on, so that the scope measures with the mixer as it is. Lines the card lacks are
// skipped.
void TForm1::SetUpMixer() {
    audio::TAudioMixer& m = *AudioMixer1;
    try {
        m.Open();
    } catch (const audio::EMixerID& e) {
        mixerError_ = QString::fromUtf8(e.what());
        // Without any device, the driver's text says which one it tried and why it failed: the
        // detail after the standard text, " (call(\"device\"): reason)".
        const std::string why = volumes_.errorText(platform::MMResult::BadDeviceId);
        const std::string_view standard =
            platform::standardErrorText(platform::MMResult::BadDeviceId);
        if (volumes_.deviceCount() == 0 && why.starts_with(standard))
            mixerError_ += QString::fromStdString(why.substr(standard.size()));
        return;
    } catch (const audio::EMixerCaps& e) {
        mixerError_ = QString::fromUtf8(e.what());
        return;
    } catch (const audio::EMixerOpen& e) {
        mixerError_ = QString::fromUtf8(e.what());
        return;
    }
    if (m.RecordDestination != nullptr && m.LineRecord != nullptr)
        m.RecordDestination->SelectSource(m.LineRecord->SourceIndex);
    setLevel(m.WaveOut, kFullLevel);
    setLevel(m.SpeakersDestination, kFullLevel);
    for (audio::TSource* line : {m.TelephoneRecord, m.CDRecord, m.AuxRecord, m.MicRecord})
        setLevel(line, kLevelOff);
    // LINE IN: right first, then left.
    if (m.LineRecord != nullptr) {
        if (audio::TVolume* volume = m.LineRecord->Volume()) {
            volume->SetRight(kFullLevel);
            volume->SetLeft(kFullLevel);
        }
    }
}

void TForm1::mixer1Click() {
    mixerPrograms_->start(mixerCommand(mixerProgram_, qEnvironmentVariable("PATH")));
}

size_t TForm1::mixerProgramsRunning() const {
    return mixerPrograms_->running();
}

}  // namespace app
