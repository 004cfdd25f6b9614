#include "report/spill.h"

#include "outputs/scratch.h"
#include "outputs/wholefile.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ardentis
{

namespace
{

using Header = std::array<std::int32_t, 3>; // pair, columns, rows

// The record at `place` of `file`: its pair, where the next record begins,
// and its temperatures when it is the record of `pair`; `found` false at the
// end of the file or on a record cut short.
struct Record {
    bool found = false;
    int pair = -1;
    std::int64_t next = 0;
    cv::Mat temps;
};

Record record_at(QFile &file, std::int64_t place, int pair)
{
    Header h;
    const auto header_size = qint64(sizeof h);
    if (!file.seek(place) ||
        file.read(reinterpret_cast<char *>(h.data()), header_size) != header_size || h[1] <= 0 ||
        h[2] <= 0)
        return {};
    // The size checked against what the file holds before it is multiplied out.
    const std::int64_t pixels = std::int64_t(h[1]) * h[2], room = file.size() - place - header_size;
    if (pixels > room / std::int64_t(sizeof(float)))
        return {};
    const std::int64_t bytes = pixels * std::int64_t(sizeof(float));
    Record r{true, h[0], place + header_size + bytes, {}};
    if (h[0] == pair) {
        r.temps.create(h[2], h[1], CV_32F);
        if (file.read(r.temps.ptr<char>(), bytes) != bytes)
            return {};
    }
    return r;
}

} // namespace

QString TemperatureSpill::open(const QString &path)
{
    close();
    path_ = path;
    const ScratchFile created = create_scratch_file(path);
    file_ = created.file;
    return file_ ? QString() : cannot_write(path, created.problem);
}

QString TemperatureSpill::add(int pair, const cv::Mat &temps)
{
    const cv::Mat t = temps.isContinuous() ? temps : temps.clone();
    const Header h{pair, t.cols, t.rows};
    const std::lock_guard<std::mutex> lock(mutex_);
    // Written at the end of the whole records: one cut short by a full disk
    // is cut away, and the next record takes its place.
    const bool written = file_ && !lost_end_ && put(h.data(), sizeof h, end_) &&
                         put(t.ptr<char>(), t.total() * sizeof(float), end_ + sizeof h);
    if (!written) {
        const int error = errno;
        if (file_ && ::ftruncate(::fileno(file_), off_t(end_)) != 0)
            lost_end_ = true; // what lies past the records is unknown: no more of them
        return cannot_write(path_, system_error(error));
    }
    places_[pair] = end_;
    end_ += std::int64_t(sizeof h + t.total() * sizeof(float));
    return {};
}

bool TemperatureSpill::put(const void *data, size_t size, std::int64_t place) const
{
    const auto *bytes = static_cast<const char *>(data);
    errno = 0;
    while (size > 0) {
        const ssize_t done = ::pwrite(::fileno(file_), bytes, size, off_t(place));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= size_t(done);
        place += done;
    }
    return true;
}

cv::Mat TemperatureSpill::read(int pair) const
{
    std::int64_t place = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto at = places_.find(pair);
        if (at == places_.end())
            return {};
        place = at->second;
    }
    QFile file(path_);
    return file.open(QIODevice::ReadOnly) ? record_at(file, place, pair).temps : cv::Mat();
}

void TemperatureSpill::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    release_scratch(path_);
}

cv::Mat read_spilled(const QString &path, int pair)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (Record r = record_at(file, 0, pair); r.found; r = record_at(file, r.next, pair))
        if (r.pair == pair)
            return r.temps;
    return {};
}

} // namespace ardentis
