#include "report/spill.h"

#include "outputs/scratch.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>

namespace ardentis
{

namespace
{

using Header = std::array<std::int32_t, 3>; // pair, columns, rows

// The record at `place` of `file` when it holds `pair` (or any pair when
// `pair` is negative), with where the next record begins; `found` false at
// the end or on a record cut short.
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
        file.read(reinterpret_cast<char *>(h.data()), header_size) != header_size)
        return {};
    const std::int64_t bytes = std::int64_t(h[1]) * h[2] * std::int64_t(sizeof(float));
    if (h[1] <= 0 || h[2] <= 0 || place + header_size + bytes > file.size())
        return {};
    Record r{true, h[0], place + header_size + bytes, {}};
    if (pair >= 0 && h[0] == pair) {
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
    return file_ ? QString()
                 : QStringLiteral("%1 cannot be written (%2).").arg(path, created.problem);
}

QString TemperatureSpill::add(int pair, const cv::Mat &temps)
{
    const cv::Mat t = temps.isContinuous() ? temps : temps.clone();
    const Header h{pair, t.cols, t.rows};
    const size_t bytes = t.total() * sizeof(float);
    const std::lock_guard<std::mutex> lock(mutex_);
    errno = 0;
    if (!file_ || std::fwrite(h.data(), sizeof h, 1, file_) != 1 ||
        std::fwrite(t.ptr<char>(), 1, bytes, file_) != bytes || std::fflush(file_) != 0)
        return QStringLiteral("%1 cannot be written (%2).").arg(path_, system_error(errno));
    places_[pair] = end_;
    end_ += std::int64_t(sizeof h + bytes);
    return {};
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
