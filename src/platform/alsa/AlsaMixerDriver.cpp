#include "platform/alsa/AlsaMixerDriver.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/MixerChecks.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/AlsaMixerDevice.h"
#include "platform/alsa/AlsaMixerHandle.h"
#include "platform/alsa/AlsaMixerTree.h"
#include "platform/alsa/AlsaMixerValues.h"

namespace platform::alsa {

namespace {

// The element of each volume device: wave output 0, then the auxiliary devices 1..5.
constexpr std::array<const char*, 6> kVolumeElements{"PCM", "CD", "Line", "Mic", "Aux", "Video"};

// PCM types whose first argument is a card.
constexpr std::array<std::string_view, 6> kCardPcmTypes{"hw",    "plughw", "sysdefault",
                                                        "front", "dsnoop", "dmix"};

std::string_view trimQuotes(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        return s.substr(1, s.size() - 2);
    }
    return s;
}

bool hasCaptureElement(const std::string& device) {
    AlsaMixerHandle mixer;
    if (!AlsaMixerHandle::open(device, mixer).ok()) return false;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer.get()); e != nullptr;
         e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e)) {
            return true;
        }
    }
    return false;
}

}  // namespace

AlsaMixerDriver::AlsaMixerDriver(std::string device)
    : device_(std::move(device)), errors_(std::make_shared<ErrorLog>()) {
    routeLibraryMessages();
    // Written by the mixer's thread; read here only once it has answered.
    auto product = std::make_shared<std::string>();
    const auto setUp = [product, device = device_](snd_mixer_t* mixer) -> Status {
        if (snd_mixer_first_elem(mixer) == nullptr) {
            return Status::fail(MMResult::BadDeviceId, "mixer \"" + device + "\" has no elements");
        }
        *product = cardName(mixer, device);
        return {};
    };
    if (Status s = AlsaMixerThread::start(device_, setUp, nullptr, mixer_); !s.ok()) {
        // Whatever kept the mixer away (no such device, no answer), there is no device.
        absence_ = s.detail;
        errors_->record(Status::fail(MMResult::BadDeviceId, absence_));
        return;
    }
    productName_ = product->empty() ? device_ : *product;
    productName_ = cutName(productName_, kMixerProductNameChars);
}

AlsaMixerDriver::~AlsaMixerDriver() = default;

uint32_t AlsaMixerDriver::deviceCount() const {
    return mixer_ ? 1 : 0;
}

MMResult AlsaMixerDriver::checkId(uint32_t mixerId, const char* call) const {
    if (mixerId < deviceCount()) return MMResult::NoError;
    // Without a device, why the mixer could not be had (a volume call may have filed another
    // detail under the same code since).
    if (deviceCount() == 0) return errors_->record(Status::fail(MMResult::BadDeviceId, absence_));
    return errors_->record(checkMixerId(call, mixerId, deviceCount()));
}

MMResult AlsaMixerDriver::capabilities(uint32_t mixerId, MixerCaps& caps) const {
    if (MMResult r = checkId(mixerId, "capabilities"); failed(r)) return r;
    caps.productName = productName_;
    caps.destinations = kDestinations;
    return MMResult::NoError;
}

MMResult AlsaMixerDriver::open(uint32_t mixerId, MessageLoop& loop, TargetId notify,
                               std::unique_ptr<MixerDevice>& device) {
    if (MMResult r = checkId(mixerId, "open"); failed(r)) return r;
    return AlsaMixerDevice::open(device_, loop, notify, errors_, device);
}

template <typename Access>
Status AlsaMixerDriver::runOnVolume(uint32_t volumeDevice, Access access) {
    // Without a mixer, every volume call fails for the reason there is none.
    if (!mixer_) return Status::fail(MMResult::BadDeviceId, absence_);
    if (volumeDevice >= kVolumeElements.size()) {
        return Status::fail(
            MMResult::BadDeviceId,
            "auxiliary device " + std::to_string(volumeDevice) + ": there are devices 1 to 5");
    }
    return mixer_->run([device = device_, volumeDevice, access](snd_mixer_t* mixer) -> Status {
        const auto fail = [&](const char* call, int err) {
            return Status::fail(MMResult::Error, callText(call, '"' + device + '"', err));
        };
        // alsa-lib keeps the values it last read: let it take in the changes made elsewhere, so
        // that it neither reports nor skips a value for want of them.
        if (const int err = snd_mixer_handle_events(mixer); err < 0) {
            return fail("snd_mixer_handle_events", err);
        }
        snd_mixer_elem_t* elem = findElement(mixer, kVolumeElements[volumeDevice]);
        if (elem == nullptr || !snd_mixer_selem_has_playback_volume(elem)) {
            const std::string what = volumeDevice == 0
                                         ? std::string("wave output volume")
                                         : "auxiliary device " + std::to_string(volumeDevice);
            return Status::fail(MMResult::BadDeviceId, what + ": \"" + device + "\" has no " +
                                                           kVolumeElements[volumeDevice] +
                                                           " playback volume");
        }
        const ElementResult r = access(elem);
        return r.ok() ? Status{} : fail(r.call, r.err);
    });
}

MMResult AlsaMixerDriver::volume(uint32_t volumeDevice, uint32_t& volume) {
    auto levels = std::make_shared<std::array<int32_t, 2>>();  // owned by the command
    const Status s = runOnVolume(volumeDevice, [levels](snd_mixer_elem_t* elem) {
        return readLevel(elem, Side::Playback, *levels);
    });
    if (!s.ok()) return errors_->record(s);
    volume = static_cast<uint32_t>((*levels)[0]) | (static_cast<uint32_t>((*levels)[1]) << 16);
    return MMResult::NoError;
}

MMResult AlsaMixerDriver::setVolume(uint32_t volumeDevice, uint32_t volume) {
    const std::array<int32_t, 2> levels{static_cast<int32_t>(volume & 0xFFFF),
                                        static_cast<int32_t>(volume >> 16)};
    return errors_->record(runOnVolume(volumeDevice, [levels](snd_mixer_elem_t* elem) {
        return writeLevel(elem, Side::Playback, levels);
    }));
}

MMResult AlsaMixerDriver::waveOutVolume(uint32_t& volume) {
    return this->volume(0, volume);
}

MMResult AlsaMixerDriver::setWaveOutVolume(uint32_t volume) {
    return setVolume(0, volume);
}

MMResult AlsaMixerDriver::auxVolume(uint32_t auxId, uint32_t& volume) {
    if (Status s = checkAuxId(auxId); !s.ok()) return errors_->record(s);
    return this->volume(auxId, volume);
}

MMResult AlsaMixerDriver::setAuxVolume(uint32_t auxId, uint32_t volume) {
    if (Status s = checkAuxId(auxId); !s.ok()) return errors_->record(s);
    return setVolume(auxId, volume);
}

ErrorReason AlsaMixerDriver::errorReason(MMResult result) const {
    return errors_->reason(result);
}

std::optional<std::string> cardControlName(std::string_view pcm) {
    const size_t colon = pcm.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view type = pcm.substr(0, colon);
    if (std::find(kCardPcmTypes.begin(), kCardPcmTypes.end(), type) == kCardPcmTypes.end()) {
        return std::nullopt;
    }
    std::string_view args = pcm.substr(colon + 1);
    for (bool first = true; !args.empty(); first = false) {
        const size_t comma = args.find(',');
        const std::string_view arg = args.substr(0, comma);
        args = comma == std::string_view::npos ? std::string_view{} : args.substr(comma + 1);
        const size_t equals = arg.find('=');
        if (equals == std::string_view::npos) {
            // Positional: the card comes first ("hw:1,0", "hw:Intel").
            const std::string_view card = trimQuotes(arg);
            if (!first || card.empty()) return std::nullopt;
            return "hw:" + std::string(card);
        }
        if (arg.substr(0, equals) == "CARD") {
            const std::string_view card = trimQuotes(arg.substr(equals + 1));
            if (card.empty()) return std::nullopt;
            return "hw:CARD=" + std::string(card);
        }
    }
    return std::nullopt;
}

std::string mixerDeviceFor(const std::string& captureDevice) {
    if (std::optional<std::string> card = cardControlName(captureDevice)) return *card;
    routeLibraryMessages();  // cards whose mixer cannot be opened are passed over in silence
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        const std::string device = "hw:" + std::to_string(card);
        if (hasCaptureElement(device)) return device;
    }
    return "default";
}

}  // namespace platform::alsa
