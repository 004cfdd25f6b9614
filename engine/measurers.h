#pragma once
// Measuring a pair's radiometric image: as the window does, one ExifTool
// start per query, or as the batch does, one exchange with a tool that
// stays open.

#include "engine/plan.h"
#include "measurement/stayopen.h"
#include "measurement/tagquery.h"
#include "measurement/temperature.h"

#include <functional>
#include <memory>
#include <optional>

namespace ardentis
{

// Measures radiometric images for the run; one per worker.
class PairMeasurer
{
public:
    virtual ~PairMeasurer() = default;
    // The temperatures and capture time of the plan's radiometric image,
    // with what is asked of the photograph it keeps.
    virtual Measurement measure(const PairPlan &plan, Radiometry model, KeptPhoto photo) = 0;
    // What a file is, when the measurer can ask at little cost; the window's
    // asks nothing beyond its queries.
    virtual std::optional<FileFacts> facts(const QString & /*file*/) { return std::nullopt; }
};
using MeasurerFactory = std::function<std::unique_ptr<PairMeasurer>()>;

// Measures as the window does: one ExifTool start per query (the raw thermal
// image, the Planck constants, unless given the emissivity and reflected
// temperature, then the capture time), each answer within the default time
// limit, the raw thermal image passing through `work_file`. Each image's
// temperatures are also left in `*last_temperatures` when that is given.
class PerQueryMeasurer : public PairMeasurer
{
public:
    explicit PerQueryMeasurer(QString work_file, cv::Mat *last_temperatures = nullptr)
        : work_file_(std::move(work_file)), last_(last_temperatures)
    {
    }
    Measurement measure(const PairPlan &plan, Radiometry model, KeptPhoto photo) override;

private:
    QString work_file_;
    cv::Mat *last_;
};

// Measures as the batch does: one long-running ExifTool, asked everything an
// image's pair needs in one exchange, each answer within `timeout_ms`.
class OneExchangeMeasurer : public PairMeasurer
{
public:
    explicit OneExchangeMeasurer(int timeout_ms) : tool_(exiftool_program(), timeout_ms) {}
    Measurement measure(const PairPlan &plan, Radiometry model, KeptPhoto photo) override;
    std::optional<FileFacts> facts(const QString &file) override;

private:
    StayOpenExifTool tool_;
};

} // namespace ardentis
