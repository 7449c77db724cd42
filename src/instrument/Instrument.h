// The instrument: its state, the capture component and the measurement routines that work on
// them. The main window derives from it and supplies the front panel; nothing here depends on a
// widget toolkit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/WaveIO.h"
#include "instrument/FrontPanel.h"
#include "instrument/InstrumentState.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"

namespace instrument {

class Instrument : public InstrumentState {
  public:
    Instrument(FrontPanel& panel, platform::WaveDriver& driver, platform::MessageLoop& loop);
    virtual ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    std::unique_ptr<audio::TAudioIn> AudioIn1;  // 44100 frames/s, 16-bit stereo, 4 x 44100 bytes

    // Acquisition cycle.
    bool AudioIn1BufferFilled(std::byte* Buffer, int32_t& Size);
    void MyIdleEvent(bool& Done);
    void RadioButton1Click();
    void RadioButton2Click();

    // Channel analysis.
    void AnalyseChannelL();
    void AnalyseChannelR();

    // Frequency measurement.
    void MeasureFrequencyL();
    void MeasureFrequencyR();
    void MeasurePeriodL();
    void MeasurePeriodR();
    void FindFirstPositiveL();
    void FindFirstPositiveR();

    // Vertical ranges.
    void ApplyRangeL();
    void ApplyRangeR();

    // Graticule and time base.
    void ApplyTimeBase();
    void DrawScales();
    void DrawGrid();
    void DrawTimeScale(int set);  // label sets 1..7
    void ComboBox1Click();

    // Traces and trigger.
    void DrawTraces();
    void FindFirstNegativeR();
    void file1Click();
    void ScrollBar3Change();
    void ComboBox4Click();

    FrontPanel& Panel() { return panel_; }

  protected:
    FrontPanel& panel_;
};

}  // namespace instrument
