// The log of a long run: one CSV row per measured capture, appended to a file as it goes.
//
// - Columns: the time (ISO 8601, local time with its UTC offset, milliseconds), the buffer's
//   number, then per channel (R, then L) each timing figure's mean, min, max, sigma and count
//   (Frequency in Hz; Period, PositiveWidth, NegativeWidth, RiseTime, FallTime in s; DutyCycle in
//   %), the levels (Top, Base, Amplitude, PeakToPeak, Mean, Rms in sample units), Clipped (0 or
//   1), the levels in volts (TopV, BaseV, AmplitudeV, PeakToPeakV, MeanV, RmsV; empty without a
//   calibration), Logic and Restored (0 or 1) and CouplingCornerHz (empty when not restored),
//   as the report's Measurements has them. A header row names each column with its unit.
//   Comma-separated with a decimal point, whatever the locale, as spreadsheets and plotting tools
//   read CSV; an absent figure is an empty field.
// - Each row goes to the file in one write as soon as it is made, so a crash of the program loses
//   nothing written; the file is synced to the disk every kSyncInterval and when the log stops,
//   so a power cut loses at most the rows of that interval.
// - Constant memory over any length: a row is made in a fixed buffer, without allocating.
// - A write that fails (a full disk, a removed device) or a file that is gone (deleted, its folder
//   removed: writes would still succeed, into nothing) stops the log with the system's reason.
// - Starting on a file that exists: an empty one gets the header; one that begins with the same
//   header is continued; any other is left untouched and the log does not start.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/MeasurementTable.h"
#include "instrument/CaptureMeasurement.h"

namespace app {

class MeasurementLog {
  public:
    static constexpr std::chrono::seconds kSyncInterval{5};
    // Room for the longest row: 104 fields of at most 24 characters.
    static constexpr size_t kRowCapacity = 4096;

    MeasurementLog() = default;
    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;
    ~MeasurementLog();

    // The header row, without its line end.
    static const std::string& header();

    // Starts the log into `path` (stopping one that runs); false with the reason in `error`.
    bool start(const std::string& path, std::string& error);
    // Syncs and closes the file; nothing when no log runs.
    void stop();
    bool active() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // Rows written since the log started.
    uint64_t rows() const { return rows_; }

    // Appends the row of `measured`, made at `when`. False with the reason in `error` when it
    // could not be written: the log has stopped then.
    bool append(const instrument::CaptureMeasurement& measured,
                std::chrono::system_clock::time_point when, std::string& error,
                const ChannelScales& scales = {});

    // The row of `measured` at `when`, with its line end, in `buffer`: its length.
    static size_t formatRow(const instrument::CaptureMeasurement& measured,
                            std::chrono::system_clock::time_point when,
                            std::array<char, kRowCapacity>& buffer,
                            const ChannelScales& scales = {});

  private:
    // Writes all of `bytes`; false with `error` set.
    bool writeAll(std::string_view bytes, std::string& error);
    // Stops the log after a failure, with the reason.
    bool fail(std::string& error, std::string reason);

    int fd_ = -1;
    std::string path_;
    uint64_t rows_ = 0;
    std::chrono::steady_clock::time_point lastSync_{};
    std::array<char, kRowCapacity> row_{};
};

}  // namespace app
