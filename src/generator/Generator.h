// The signal generator on the instrument: the handlers of its panel (the amplitude and frequency
// range lists and bars, the read-outs Edit13 and Edit14, the display-limit warning Panel14) and
// the fill handler of the instrument's playback component AudioOut1. It works through the
// instrument's front panel, as the instrument's own handlers do, and on the instrument's state:
// GeneratorAmplitude, GeneratorFrequency and generatorOff, which the instrument reads as well,
// and the shared NumText. It keeps no state of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "instrument/FrontPanel.h"
#include "instrument/Instrument.h"

namespace generator {

class Generator {
  public:
    // Both must outlive the generator. It becomes the fill and start handler of the instrument's
    // AudioOut1, until it is gone.
    Generator(instrument::Instrument& instrument, instrument::FrontPanel& panel);
    ~Generator();
    Generator(const Generator&) = delete;
    Generator& operator=(const Generator&) = delete;

    // The panel's part of the window's start-up, in the order the window calls them: the
    // frequency bar 100..10000 at 100 (its change handler runs, and with it the first capture
    // start request), the warning hidden and the two range lists on their start items (no click
    // handler runs), the amplitude bar 0..32767 at 3276, and the playback started.
    void setUpFrequencyBar();
    void setUpRanges();
    void setUpAmplitudeBar();
    void startPlayback();

    // The panel's handlers.
    void ScrollBar4Change();
    void ComboBox7Click();
    void ScrollBar5Change();
    void ComboBox8Click();
    void ScrollBar5EndDrag() {}

    // Sine synthesis: fills a playback buffer with the generator's sine, continued from the
    // buffers supplied before it; never runs out of data.
    bool AudioOut1FillBuffer(std::byte* Buffer, int32_t& Size);
    void AudioOut1Start() {}

  private:
    // Edit13: the amplitude in mV at the output.
    void showAmplitudeReadout();
    // Edit14 in the Hz bands: GeneratorFrequency in Hz.
    void showHzReadout();
    // Edit14: " ", the number NumText holds, then `unit`.
    void showFrequencyReadout(std::string_view unit);

    instrument::Instrument& instrument_;
    instrument::FrontPanel& panel_;
};

}  // namespace generator
