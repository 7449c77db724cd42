#include "app/MeasurementLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>

namespace app {

namespace {

using measurement::ChannelMeasurement;
using measurement::Statistic;

// Digits enough for a frequency's 0.0001 % and a time to the nanosecond.
constexpr int kSignificantDigits = 9;

struct TimingColumn {
    const char* name;
    const char* unit;
    const std::optional<Statistic> measurement::Timing::*statistic;
};
constexpr TimingColumn kTimingColumns[] = {
    {"Frequency", "Hz", &measurement::Timing::frequency},
    {"Period", "s", &measurement::Timing::period},
    {"PositiveWidth", "s", &measurement::Timing::positiveWidth},
    {"NegativeWidth", "s", &measurement::Timing::negativeWidth},
    {"DutyCycle", "%", &measurement::Timing::dutyCycle},
    {"RiseTime", "s", &measurement::Timing::riseTime},
    {"FallTime", "s", &measurement::Timing::fallTime},
};
constexpr const char* kStatisticNames[] = {"mean", "min", "max", "sigma", "count"};

struct LevelColumn {
    const char* name;
    double measurement::Levels::*level;
};
constexpr LevelColumn kLevelColumns[] = {
    {"Top", &measurement::Levels::top},
    {"Base", &measurement::Levels::base},
    {"Amplitude", &measurement::Levels::amplitude},
    {"PeakToPeak", &measurement::Levels::peakToPeak},
    {"Mean", &measurement::Levels::mean},
    {"Rms", &measurement::Levels::rms},
};

std::string makeHeader() {
    std::string header = "Time [ISO 8601],Buffer";
    for (const char* channel : {"R", "L"}) {
        const std::string prefix = std::string(",") + channel + " ";
        for (const TimingColumn& column : kTimingColumns) {
            for (const char* statistic : kStatisticNames) {
                header += prefix + column.name + " " + statistic;
                if (std::strcmp(statistic, "count") != 0)
                    header += std::string(" [") + column.unit + "]";
            }
        }
        for (const LevelColumn& column : kLevelColumns)
            header += prefix + column.name + " [sample units]";
        header += prefix + "Clipped [0/1]";
        for (const LevelColumn& column : kLevelColumns) header += prefix + column.name + "V [V]";
        header +=
            prefix + "Logic [0/1]" + prefix + "Restored [0/1]" + prefix + "CouplingCornerHz [Hz]";
    }
    return header;
}

// Appends to a row in a fixed buffer; once full, every further append is dropped and the row
// counts as failed.
class RowWriter {
  public:
    RowWriter(char* begin, char* end) : at_(begin), begin_(begin), end_(end) {}

    void text(std::string_view s) {
        if (static_cast<size_t>(end_ - at_) < s.size()) {
            overflow_ = true;
            return;
        }
        std::memcpy(at_, s.data(), s.size());
        at_ += s.size();
    }
    void number(double value) {
        const auto [end, error] =
            std::to_chars(at_, end_, value, std::chars_format::general, kSignificantDigits);
        if (error != std::errc{}) {
            overflow_ = true;
            return;
        }
        at_ = end;
    }
    void number(uint64_t value) {
        const auto [end, error] = std::to_chars(at_, end_, value);
        if (error != std::errc{}) {
            overflow_ = true;
            return;
        }
        at_ = end;
    }
    // ISO 8601 with milliseconds and the UTC offset: 2026-12-09T01:35:12.250+01:00.
    void time(std::chrono::system_clock::time_point when) {
        const auto sinceEpoch = when.time_since_epoch();
        const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
        const std::time_t t = static_cast<std::time_t>(seconds.count());
        std::tm local{};
        localtime_r(&t, &local);
        const long offsetMinutes = local.tm_gmtoff / 60;
        const long offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        char stamp[48];
        const int n =
            std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(millis),
                          offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
        if (n > 0 && static_cast<size_t>(n) < sizeof stamp) text({stamp, static_cast<size_t>(n)});
    }

    size_t length() const { return overflow_ ? 0 : static_cast<size_t>(at_ - begin_); }

  private:
    char* at_;
    char* begin_;
    char* end_;
    bool overflow_ = false;
};

constexpr double measurement::VoltLevels::*kVoltColumns[] = {
    &measurement::VoltLevels::top,       &measurement::VoltLevels::base,
    &measurement::VoltLevels::amplitude, &measurement::VoltLevels::peakToPeak,
    &measurement::VoltLevels::mean,      &measurement::VoltLevels::rms,
};
static_assert(std::size(kVoltColumns) == std::size(kLevelColumns));

void channelFields(RowWriter& row, const ChannelMeasurement& channel,
                   const measurement::RestoredChannel& restored, bool logic,
                   const ChannelScale& scale) {
    for (const TimingColumn& column : kTimingColumns) {
        const std::optional<Statistic>& s = channel.timing.*column.statistic;
        if (!s) {
            row.text(",,,,,");
            continue;
        }
        for (const double value : {s->mean, s->min, s->max, s->sigma}) {
            row.text(",");
            row.number(value);
        }
        row.text(",");
        row.number(static_cast<uint64_t>(s->count));
    }
    for (const LevelColumn& column : kLevelColumns) {
        row.text(",");
        row.number(channel.levels.*column.level);
    }
    row.text(channel.levels.clipped ? ",1" : ",0");
    const std::optional<measurement::VoltLevels> volts = shownVolts(channel, scale);
    for (const auto figure : kVoltColumns) {
        row.text(",");
        if (volts) row.number((*volts).*figure);
    }
    const bool restoredInForce = logic && restored.restoration.restored;
    row.text(logic ? ",1" : ",0");
    row.text(restoredInForce ? ",1," : ",0,");
    if (restoredInForce) row.number(restored.cornerHz);
}

std::string systemReason(int error) {
    return std::strerror(error);
}

}  // namespace

MeasurementLog::~MeasurementLog() {
    stop();
}

const std::string& MeasurementLog::header() {
    static const std::string text = makeHeader();
    return text;
}

bool MeasurementLog::start(const std::string& path, std::string& error) {
    stop();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = systemReason(errno);
        return false;
    }
    fd_ = fd;
    path_ = path;
    rows_ = 0;
    lastSync_ = std::chrono::steady_clock::now();

    struct stat status {};
    if (::fstat(fd_, &status) != 0) return fail(error, systemReason(errno));
    const std::string headerLine = header() + "\n";
    if (S_ISREG(status.st_mode) && status.st_size > 0) {
        // Continue a log of the same columns; leave anything else alone.
        std::string start(headerLine.size(), '\0');
        const ssize_t got = ::pread(fd_, start.data(), start.size(), 0);
        if (got != static_cast<ssize_t>(start.size()) || start != headerLine)
            return fail(error, "the file holds something other than this program's log");
        char last = '\n';
        if (::pread(fd_, &last, 1, status.st_size - 1) != 1)
            return fail(error, systemReason(errno));
        // A row cut short by a power cut ends before the next one starts.
        if (last != '\n' && !writeAll("\n", error)) return false;
        return true;
    }
    return writeAll(headerLine, error);
}

void MeasurementLog::stop() {
    if (fd_ < 0) return;
    ::fdatasync(fd_);
    ::close(fd_);
    fd_ = -1;
}

bool MeasurementLog::fail(std::string& error, std::string reason) {
    error = std::move(reason);
    // What was written stays; the file is closed without a further write.
    ::close(fd_);
    fd_ = -1;
    return false;
}

bool MeasurementLog::writeAll(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail(error, systemReason(errno));
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

size_t MeasurementLog::formatRow(const instrument::CaptureMeasurement& measured,
                                 std::chrono::system_clock::time_point when,
                                 std::array<char, kRowCapacity>& buffer,
                                 const ChannelScales& scales) {
    RowWriter row(buffer.data(), buffer.data() + buffer.size());
    row.time(when);
    row.text(",");
    row.number(measured.buffer);
    channelFields(row, measured.R, measured.restoredR, measured.choices[0].logic,
                  scaleOf(scales, Channel::R));
    channelFields(row, measured.L, measured.restoredL, measured.choices[1].logic,
                  scaleOf(scales, Channel::L));
    row.text("\n");
    return row.length();
}

bool MeasurementLog::append(const instrument::CaptureMeasurement& measured,
                            std::chrono::system_clock::time_point when, std::string& error,
                            const ChannelScales& scales) {
    if (fd_ < 0) {
        error = "no log runs";
        return false;
    }
    // A file deleted, or in a folder removed, takes every write and keeps none of it.
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return fail(error, systemReason(errno));
    if (status.st_nlink == 0) return fail(error, systemReason(ENOENT));

    const size_t length = formatRow(measured, when, row_, scales);
    if (length == 0) return fail(error, "a row did not fit its buffer");
    if (!writeAll({row_.data(), length}, error)) return false;
    ++rows_;

    const auto now = std::chrono::steady_clock::now();
    if (now - lastSync_ >= kSyncInterval) {
        lastSync_ = now;
        // A disk that fills up may tell only here, when the rows are really written.
        if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS)
            return fail(error, systemReason(errno));
    }
    return true;
}

}  // namespace app
