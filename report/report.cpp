#include "report/report.h"

#include "analysis/contours.h"
#include "analysis/thermalmap.h"
#include "common/cnumber.h"
#include "outputs/resultfiles.h"
#include "outputs/scratch.h"
#include "outputs/wholefile.h"
#include "report/reportpage.h"
#include "report/spill.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace ardentis
{

namespace
{

// The cards show four pictures side by side, each about this many pixels
// wide: the photograph and the plant mask are made from the halving of the
// photograph that shows them nearest to that width.
constexpr int shown_width = 256;
// The contour picture shows this share of the field's width around it, at
// full resolution up to this width and at half resolution beyond, where it
// is still over 450 pixels wide and a field 10 photograph pixels off is 5
// pixels off in it. It is shown at the photograph's size.
constexpr double contour_margin = 0.05;
constexpr int contour_full_width = 900;
// The quality of the pictures' JPEG files.
constexpr int picture_quality = 85;
// The report's own folder in the output folder, beside report.html.
constexpr char folder_name[] = "report";
// The maps' range when no plant pixel gives one.
constexpr double fallback_lo = 15, fallback_hi = 35;

// Where the pictures' temperatures and the cards wait until the run ends.
QString work_folder(const QString &output_dir)
{
    return output_dir + QLatin1Char('/') + QLatin1String(folder_name) + QStringLiteral("/.work");
}

// The file where the pictures' temperatures wait.
QString spill_file(const QString &output_dir)
{
    return work_folder(output_dir) + QStringLiteral("/temperatures");
}

// A map's range at least the narrowest a map spans.
std::pair<double, double> map_range(double lo, double hi)
{
    return {lo, std::max(hi, lo + min_map_span)};
}

// The 1st to the 99th percentile of a pair's temperatures.
std::pair<double, double> own_range(const cv::Mat &temps)
{
    std::vector<float> t;
    t.reserve(temps.total());
    for (auto it = temps.begin<float>(); it != temps.end<float>(); ++it)
        if (!std::isnan(*it))
            t.push_back(*it);
    if (t.empty())
        return {fallback_lo, fallback_hi};
    const auto quantile = [&t](double share) {
        const auto at = t.begin() + std::ptrdiff_t(share * double(t.size() - 1));
        std::nth_element(t.begin(), at, t.end());
        return double(*at);
    };
    return map_range(quantile(0.01), quantile(0.99));
}

// The maps of a campaign: the colour bar drawn once for each size of map.
class BarCanvases
{
public:
    BarCanvases(Palette palette, double lo, double hi) : palette_(palette), lo_(lo), hi_(hi) {}
    // The map of `temps`, from any thread.
    cv::Mat map(const cv::Mat &temps)
    {
        return with_colour_bar(thermal_map(temps, palette_, lo_, hi_), canvas(temps.size()));
    }

private:
    const cv::Mat &canvas(cv::Size size)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        auto [at, added] = canvases_.try_emplace({size.width, size.height});
        if (added)
            at->second = colour_bar_canvas(size, palette_, lo_, hi_);
        return at->second; // a map's entries stay where they are
    }

    Palette palette_;
    double lo_, hi_;
    std::mutex mutex_;
    std::map<std::pair<int, int>, cv::Mat> canvases_;
};

// The campaign's plant temperatures, in bins of a hundredth of a degree: the
// range of the maps without keeping any pixel.
class CampaignHistogram
{
public:
    // The temperatures (CV_32FC1) of the pixels that `plant` marks.
    void add(const cv::Mat &temps, const cv::Mat &plant)
    {
        for (int r = 0; r < temps.rows; ++r) {
            const float *t = temps.ptr<float>(r);
            const uchar *is_plant = plant.ptr<uchar>(r);
            for (int c = 0; c < temps.cols; ++c)
                if (is_plant[c] && !std::isnan(t[c])) {
                    // Rounded to the nearest bin: the value is not negative.
                    // Multiplying by the bins a degree holds bins every
                    // float as dividing by their width does.
                    ++bins_[size_t(
                        (std::clamp(double(t[c]), lowest, highest) - lowest) * per_degree + 0.5)];
                    ++count_;
                }
        }
    }
    // The value below which `share` of the temperatures lie.
    double quantile(double share) const
    {
        const double wanted = share * double(count_);
        double seen = 0;
        for (size_t i = 0; i < bins_.size(); ++i) {
            seen += double(bins_[i]);
            if (seen >= wanted && bins_[i] > 0)
                return lowest + double(i) * width;
        }
        return highest;
    }
    bool empty() const { return count_ == 0; }

private:
    static constexpr double lowest = -100, highest = 300, per_degree = 100, width = 1 / per_degree;
    std::vector<std::uint64_t> bins_ = std::vector<std::uint64_t>(40001);
    std::uint64_t count_ = 0;
};

// `r` on the photograph halved `halvings` times.
cv::Rect halved_rect(const cv::Rect &r, int halvings)
{
    return {r.x >> halvings, r.y >> halvings, std::max(1, r.width >> halvings),
            std::max(1, r.height >> halvings)};
}

// The photograph with the thermal field outlined.
cv::Mat field_view(const PhotoScales &photo, const Field &field)
{
    const int halvings = PhotoScales::halvings_for(photo.photo().cols, shown_width);
    cv::Mat view = photo.halved(halvings).clone();
    cv::rectangle(view, halved_rect(field.rect(), halvings), cv::Scalar(field_outline_colour), 2);
    return view;
}

// The part of the photograph under the field: plant tinted, the rest dimmed,
// each through a table of what every value becomes.
cv::Mat mask_view(const PhotoScales &photo, const Field &field, const cv::Mat &plant)
{
    const int halvings = PhotoScales::halvings_for(field.width, shown_width);
    const cv::Mat &level = photo.halved(halvings);
    const cv::Mat view =
        level(halved_rect(field.rect(), halvings) & cv::Rect(0, 0, level.cols, level.rows));
    cv::Mat on_view;
    cv::resize(plant, on_view, view.size(), 0, 0, cv::INTER_NEAREST);
    const cv::Vec3f tint(80, 255, 120);
    std::array<cv::Vec3b, 256> tinted, dimmed;
    for (size_t v = 0; v < tinted.size(); ++v) {
        const cv::Vec3f px = cv::Vec3f::all(float(v));
        tinted[v] = cv::Vec3b(0.55f * px + 0.45f * tint);
        dimmed[v] = cv::Vec3b(0.3f * px);
    }
    cv::Mat out(view.size(), CV_8UC3);
    for (int r = 0; r < view.rows; ++r) {
        const auto *in = view.ptr<cv::Vec3b>(r);
        const uchar *is_plant = on_view.ptr<uchar>(r);
        auto *o = out.ptr<cv::Vec3b>(r);
        for (int c = 0; c < view.cols; ++c) {
            const auto &table = is_plant[c] ? tinted : dimmed;
            o[c] = {table[in[c][0]][0], table[in[c][1]][1], table[in[c][2]][2]};
        }
    }
    return out;
}

// The photograph around the field with the thermal contours over it, and
// the size it is shown at.
struct ContourView {
    ContourPicture picture;
    cv::Size shown;
};

ContourView contour_view(const PhotoScales &photo, const cv::Mat &temps, const Field &field)
{
    const int m = int(std::ceil(contour_margin * field.width));
    const cv::Rect area =
        cv::Rect(field.x - m, field.y - m, field.width + 2 * m, field.height + 2 * m) &
        cv::Rect(0, 0, photo.photo().cols, photo.photo().rows);
    const int halvings = area.width > contour_full_width ? 1 : 0;
    ContourView out{thermal_contours(photo, temps, field.rect(), area, halvings), {}};
    out.shown = {out.picture.view.cols << halvings, out.picture.view.rows << halvings};
    return out;
}

class Report : public PairExtras
{
public:
    Report(const QString &dir, const ReportStyle &style, const ReportContext &context)
        : dir_(dir), folder_(dir + QLatin1Char('/') + QLatin1String(folder_name)), style_(style),
          context_(context)
    {
    }
    QStringList folders() const override { return {QLatin1String(folder_name)}; }
    QString start() override
    {
        // The folder is the report's own: pictures of an earlier report go.
        if (!QDir(folder_).removeRecursively())
            return QStringLiteral("The earlier report's folder %1 cannot be removed.").arg(folder_);
        // So does its page, which showed them: a report is whole or absent.
        const QString page = page_path();
        if (QFileInfo(page).isFile() && !QFile::remove(page))
            return QStringLiteral("The earlier report %1 cannot be removed.").arg(page);
        add_scratch(work_folder(dir_));
        for (const QString &folder :
             {work_folder(dir_), dir_ + QLatin1Char('/') + QLatin1String(thermal_folder)})
            if (!QDir().mkpath(folder))
                return QStringLiteral("The folder %1 cannot be created.").arg(folder);
        return spill_.open(spill_file(dir_));
    }
    std::string piece(const ProcessedPair &p) override;
    void add(const PairOutcome &outcome) override;
    QString finish(const RunResult &result) override;

private:
    QString picture_path(int pair, const char *what) const
    {
        return report_picture(dir_, pair, what);
    }
    void note(const QString &problem)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (problem_.isEmpty())
            problem_ = problem;
    }
    QString cards_path() const { return work_folder(dir_) + QStringLiteral("/cards.html"); }
    QString page_path() const { return in_folder(dir_, report_page); }
    // The map of a pair, and with `thermal` its 4Thermal picture.
    QString write_map(const PairOutcome &row, bool thermal, BarCanvases &bars) const;
    QString write_maps(double lo, double hi);

    QString dir_, folder_;
    ReportStyle style_;
    ReportContext context_;
    std::mutex mutex_; // guards what the workers share below
    CampaignHistogram histogram_;
    QString problem_;
    // Kept in pair order on the starting thread.
    std::vector<PairOutcome> rows_; // the processed pairs
    std::vector<ReportSkip> skipped_;
    QStringList notes_;
    std::unique_ptr<TextFile> cards_file_;
    TemperatureSpill spill_; // the maps' temperatures until the run ends
};

std::string Report::piece(const ProcessedPair &p)
{
    const int pair = p.outcome.plan.pair;
    const Field &field = p.outcome.record.field;
    const std::vector<int> quality{cv::IMWRITE_JPEG_QUALITY, picture_quality};
    const ContourView contour = contour_view(p.photograph, p.measurement.temps, field);
    const ContourPicture &over = contour.picture;
    const EncodedPicture photo = encode_picture(field_view(p.photograph, field), ".jpg", quality),
                         mask = encode_picture(mask_view(p.photograph, field, p.pictures.plant),
                                               ".jpg", quality),
                         contours =
                             encode_picture(over.view, ".jpg", quality,
                                            [&over](int y, uchar *row) { over.draw_row(y, row); });
    for (const EncodedPicture *e : {&photo, &mask, &contours})
        note(e->problem);
    note(write_together({{picture_path(pair, "photo"), photo.bytes},
                         {picture_path(pair, "mask"), mask.bytes},
                         {picture_path(pair, "contours"), contours.bytes}}));
    // The map waits for the campaign's range: its temperatures wait on disk.
    cv::Mat temps;
    p.measurement.temps.convertTo(temps, CV_32F);
    note(spill_.add(pair, temps));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        histogram_.add(temps, p.pictures.plant);
    }
    return card_html(p.outcome, p.measurement.temps, p.pictures.plant, style_.range_given,
                     contour.shown);
}

void Report::add(const PairOutcome &outcome)
{
    if (outcome.state == PairState::Skipped)
        skipped_.push_back(
            {outcome.plan.pair, outcome.plan.radiometric, outcome.plan.visible, outcome.problem});
    if (outcome.state == PairState::TableEntry)
        notes_ << QStringLiteral("Pair %1 (image %2) is a table entry: it sets the emissivity and "
                                 "reflected temperature of the pairs after it.")
                      .arg(outcome.plan.pair + 1)
                      .arg(outcome.plan.number, 0, 'f', 0);
    if (outcome.state != PairState::Processed)
        return;
    rows_.push_back(outcome);
    rows_.back().drop_lines();
    if (const QString notes = pair_notes(outcome, false); !notes.isEmpty())
        notes_ << QStringLiteral("Pair %1 (image %2): %3")
                      .arg(outcome.plan.pair + 1)
                      .arg(outcome.plan.number, 0, 'f', 0)
                      .arg(notes);
    if (!cards_file_) {
        cards_file_ = std::make_unique<TextFile>();
        note(cards_file_->open(cards_path()));
    }
    note(cards_file_->write(outcome.extras));
}

QString Report::write_map(const PairOutcome &row, bool thermal, BarCanvases &bars) const
{
    const cv::Mat temps = spill_.read(row.plan.pair);
    if (temps.empty())
        return QStringLiteral("%1 cannot be read back.").arg(spill_file(dir_));
    const EncodedPicture picture = encode_picture(bars.map(temps), ".png");
    if (!picture.problem.isEmpty())
        return picture.problem;
    std::vector<OutputFile> files{{picture_path(row.plan.pair, "map"), picture.bytes}};
    if (thermal)
        files.push_back({pair_files(dir_, row.plan.name).thermal, picture.bytes, true});
    return write_together(files);
}

QString Report::write_maps(double lo, double hi)
{
    // As many at once as the run had workers: the run waits for them. Of the
    // pairs whose files have one name, the last one's map is its 4Thermal
    // picture.
    std::map<QString, size_t> last;
    for (size_t i = 0; i < rows_.size(); ++i)
        last[rows_[i].plan.name] = i;
    std::vector<QString> problems(rows_.size());
    std::atomic<size_t> next{0};
    BarCanvases bars(style_.palette, lo, hi);
    const auto work = [&] {
        for (size_t i = next++; i < rows_.size(); i = next++)
            problems[i] = write_map(rows_[i], last.at(rows_[i].plan.name) == i, bars);
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::min(context_.jobs, int(rows_.size())); ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread &t : helpers)
        t.join();
    for (const QString &problem : problems)
        if (!problem.isEmpty())
            return problem;
    return {};
}

QString Report::finish(const RunResult &result)
{
    double lo = style_.range_min, hi = style_.range_max;
    if (!style_.range_given)
        std::tie(lo, hi) = histogram_.empty()
                               ? map_range(fallback_lo, fallback_hi)
                               : map_range(histogram_.quantile(0.01), histogram_.quantile(0.99));
    QString problem = problem_.isEmpty() ? write_maps(lo, hi) : problem_;
    TextFile page;
    if (problem.isEmpty()) {
        if (cards_file_)
            problem = cards_file_->commit();
        std::vector<GroupSummary> groups;
        if (result.stopped)
            notes_ << QStringLiteral("The run was stopped: %1 of its %2 pairs were done.")
                          .arg(result.outcomes.size())
                          .arg(result.pairs);
        if (const TrialSetup *trial = context_.trial) {
            groups = summarise_groups(processed_trials(result), trial->group_column);
            const QString unused = book_rows_note(*trial, result);
            if (!unused.isEmpty())
                notes_ << unused;
        }
        if (const QString all_plant = all_plant_note(result); !all_plant.isEmpty())
            notes_ << all_plant;
        const PageFacts facts{context_, result.pairs, rows_,          skipped_, style_.palette,
                              lo,       hi,           context_.trial, notes_,   groups};
        if (problem.isEmpty())
            problem = page.open(page_path());
        if (problem.isEmpty())
            problem = write_page(page, facts, cards_file_ ? cards_path() : QString());
        if (problem.isEmpty())
            problem = page.commit();
    }
    spill_.close();
    QDir(work_folder(dir_)).removeRecursively();
    release_scratch(work_folder(dir_));
    return problem.isEmpty() ? problem : QStringLiteral("No report was written: %1").arg(problem);
}

} // namespace

const char *report_picture_type(const char *what)
{
    // The map, sharp colours and its scale's text, the only one not a JPEG.
    return qstrcmp(what, "map") == 0 ? "png" : "jpg";
}

QString report_picture(const QString &output_dir, int pair, const char *what)
{
    return output_dir + QStringLiteral("/report/p%1_%2.%3")
                            .arg(QString::number(pair + 1), QLatin1String(what),
                                 QLatin1String(report_picture_type(what)));
}

QByteArray map_during_run(const QString &output_dir, int pair, const ReportStyle &style)
{
    const cv::Mat temps = read_spilled(spill_file(output_dir), pair);
    if (temps.empty())
        return {};
    const auto [lo, hi] =
        style.range_given ? std::make_pair(style.range_min, style.range_max) : own_range(temps);
    const std::string png =
        encode_picture(BarCanvases(style.palette, lo, hi).map(temps), ".png").bytes;
    return QByteArray(png.data(), int(png.size()));
}

std::unique_ptr<PairExtras> make_report(const QString &output_dir, const ReportStyle &style,
                                        const ReportContext &context)
{
    return std::make_unique<Report>(output_dir, style, context);
}

} // namespace ardentis
