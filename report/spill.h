#pragma once
// A run's temperatures waiting on disk for the campaign's range, in one file:
// each pair's as a record of its pair, columns and rows (32-bit integers in
// this machine's order), then its temperatures as 32-bit floats.

#include <QString>
#include <opencv2/core.hpp>

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

namespace ardentis
{

class TemperatureSpill
{
public:
    TemperatureSpill() = default;
    TemperatureSpill(const TemperatureSpill &) = delete;
    TemperatureSpill &operator=(const TemperatureSpill &) = delete;
    ~TemperatureSpill() { close(); }
    // Makes the file at `path`, recorded as scratch; why it cannot be made.
    QString open(const QString &path);
    // Adds the temperatures (CV_32FC1) of `pair`; why they cannot be. Safe
    // from any thread.
    QString add(int pair, const cv::Mat &temps);
    // The temperatures of `pair`: empty when none were added or they cannot
    // be read back. Safe from any thread.
    cv::Mat read(int pair) const;
    // Closes the file, which stays until its folder goes.
    void close();

private:
    // Writes `size` bytes at `place` of the file; false with errno set when not.
    bool put(const void *data, size_t size, std::int64_t place) const;

    std::FILE *file_ = nullptr;
    QString path_;
    mutable std::mutex mutex_; // guards the file's writing and the places
    std::map<int, std::int64_t> places_;
    std::int64_t end_ = 0;
    bool lost_end_ = false;
};

// The temperatures of `pair` in the spill file at `path`, found by going
// through its records: for a reader outside the run. Empty when absent.
cv::Mat read_spilled(const QString &path, int pair);

} // namespace ardentis
