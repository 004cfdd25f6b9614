#include "engine/pair.h"

#include "analysis/registration.h"
#include "common/cnumber.h"
#include "engine/embedded.h"
#include "outputs/lines.h"
#include "outputs/resultfiles.h"
#include "outputs/wholefile.h"
#include "pictures/pictures.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <stdexcept>

namespace ardentis
{

namespace
{

std::string encoded_jpeg(const cv::Mat &picture)
{
    std::vector<uchar> bytes;
    if (!cv::imencode(".jpg", picture, bytes))
        throw std::runtime_error("a result picture cannot be encoded");
    return std::string(bytes.begin(), bytes.end());
}

void print_data_lines(std::FILE *diagnostics, const Measurement &m)
{
    const cv::Mat &t = m.temps;
    if (t.total() >= 3 && t.type() == CV_64FC1 && t.isContinuous()) {
        const double *v = t.ptr<double>(0);
        say(diagnostics, "\nDATA: " + format_fixed6(v[0]) + " " + format_fixed6(v[1]) + " " +
                             format_fixed6(v[2]) + "\n");
    }
    say(diagnostics, "\n" + format_fixed6(m.calibration.emissivity) + "," +
                         format_fixed6(m.calibration.t_refl) + "\n");
}

// Why the table's values in force cannot be used for the plan's pair.
QString table_values_problem(const PairPlan &plan)
{
    if (!plan.flag_er)
        return {};
    const QString source = QStringLiteral("on line %1 of the table").arg(plan.table_line);
    const QString problem = emissivity_problem(plan.emissivity, source);
    return problem.isEmpty() ? t_refl_problem(plan.t_refl, source) : problem;
}

// The checks before any tool runs: the files, their pictures, the number.
QString pictures_and_number(const PairPlan &plan, const RunOptions &options, cv::Mat &ir,
                            cv::Mat &rgb)
{
    Picture r = read_picture(plan.radiometric, QStringLiteral("radiometric image"));
    if (!r.problem.isEmpty())
        return r.problem;
    ir = r.image;
    if (plan.photo == PhotoSource::Separate) { // an embedded one comes with the measurement
        Picture v = read_picture(plan.visible, QStringLiteral("photograph"));
        if (!v.problem.isEmpty())
            return v.problem;
        rgb = v.image;
        const QString problem = pictures_problem_for(ir, rgb, options_field(options));
        if (!problem.isEmpty())
            return problem;
    }
    if (file_number(plan.number) < 0)
        return QStringLiteral("The image number %1 is too large for a file name.")
            .arg(QString::fromStdString(format_fixed6(plan.number)));
    return table_values_problem(plan);
}

QString temperatures_problem(const Measurement &m)
{
    if (!m.problem.isEmpty())
        return m.problem;
    if (m.temps.empty())
        return no_raw_data_text();
    if (m.without_temperature * 2 > int(m.temps.total()))
        return QStringLiteral("The raw data lie outside the calibration or beyond what the camera "
                              "measures (%1 to %2 °C): %3 of %4 pixels have no temperature.")
            .arg(m.calibration.range.min, 0, 'f', 1)
            .arg(m.calibration.range.max, 0, 'f', 1)
            .arg(m.without_temperature)
            .arg(m.temps.total());
    return {};
}

std::vector<OutputFile> pair_outputs(const PairPictures &p, const Measurement &m,
                                     const PairFiles &files, const RunOptions &options)
{
    std::vector<OutputFile> out{{files.aligned, encoded_jpeg(p.blend)},
                                {files.part, encoded_jpeg(p.part)},
                                {files.table, temperature_table(m.temps, p.plant)},
                                {files.mask, encoded_jpeg(p.masked)}};
    if (options.temperatures)
        out.push_back({files.temperatures, temperature_table(m.temps)});
    return out;
}

StatsRow stats_row(const PairPlan &plan, const Measurement &m, const Registration &reg,
                   const RunOptions &options, const PlantStats &stats)
{
    StatsRow row;
    row.number = plan.number;
    row.time = m.time.toStdString();
    row.field_x = reg.field.x;
    row.field_y = reg.field.y;
    row.field_width = reg.field.width;
    row.field_height = reg.field.height;
    row.searched = reg.searched;
    row.registered = reg.registered;
    row.correlation = reg.correlation;
    row.fit = reg.fit;
    row.mask = mask_name(options.mask.method);
    row.radiometry = m.calibration.model == Radiometry::Full ? "full" : "simple";
    row.plant = stats;
    row.emissivity = m.calibration.emissivity;
    row.t_refl = m.calibration.t_refl;
    return row;
}

// A black photograph shows no plant, whatever noise a mask might take for it:
// a camera may keep one inside the radiometric image when its visible lens
// saw nothing. The user is told.
void no_plant_if_black(const PairPlan &plan, PairPictures &pictures, PairOutcome &outcome)
{
    if (plan.photo != PhotoSource::Embedded || !black_picture(pictures.part))
        return;
    pictures.plant.setTo(0);
    pictures.masked.setTo(0);
    pictures.mean = std::nan("");
    if (!outcome.note.isEmpty())
        outcome.note += QLatin1Char(' ');
    outcome.note += QStringLiteral("the photograph is black: nothing in it can be told for plant, "
                                   "so the plant fraction is 0 and the mean nan.");
}

void process_measured(const PairPlan &plan, const Measurement &m, const cv::Mat &ir,
                      const cv::Mat &rgb, const FieldChoice &choice, const RunInput &input,
                      Worker &worker, PairOutcome &outcome)
{
    const RunOptions &options = input.options;
    Registration reg;
    reg.field = choice.field;
    if (choice.search) {
        outcome.reason = field_room_problem(rgb.size(), m.temps.size());
        if (!outcome.reason.isEmpty())
            return;
        reg = choice.near ? register_near(rgb, m.temps, choice.field)
                          : register_field(rgb, m.temps, choice.field, m.field_of_view);
        if (!reg.registered)
            outcome.note = QStringLiteral("field not registered: %1.").arg(reg.note);
    }
    PairPictures pictures = compute_pair(ir, rgb, m.temps, reg.field, options.mask);
    no_plant_if_black(plan, pictures, outcome);
    const int n = file_number(plan.number);
    const PairFiles files = pair_files(input.output_dir, n);
    const std::vector<OutputFile> outputs = pair_outputs(pictures, m, files, options);
    outcome.reason = write_together(outputs);
    if (!outcome.reason.isEmpty())
        return;
    for (const OutputFile &f : outputs)
        outcome.files << f.path;
    worker.written.insert(n);
    outcome.summary_line = summary_line(plan.number, m.time.toStdString(), pictures.mean);
    if (options.stats || options.extras) {
        const PlantStats stats = plant_statistics(m.temps, pictures.plant);
        StatsRow row = stats_row(plan, m, reg, options, stats);
        if (options.trial) {
            outcome.trial = trial_values(*options.trial, {plan.number, m.date_time, m.camera_air,
                                                          m.camera_humidity, stats.mean});
            row.more = trial_cells(*options.trial, outcome.trial);
        }
        outcome.stats_line = stats_line(row);
        if (options.extras)
            outcome.extras = options.extras->piece({plan, rgb, m, reg, pictures, stats, n});
    }
    outcome.state = PairState::Processed;
}

void execute_unguarded(const PairPlan &plan, const RunInput &input, Worker &worker,
                       std::FILE *diagnostics, PairOutcome &outcome)
{
    cv::Mat ir, rgb;
    outcome.reason = pictures_and_number(plan, input.options, ir, rgb);
    if (!outcome.reason.isEmpty())
        return;
    const Measurement m = worker.measurer->measure(plan, input.options.radiometry);
    if (!input.refl_loaded)
        print_data_lines(diagnostics, m);
    outcome.pixels = int(m.temps.total());
    outcome.without_temperature = m.without_temperature;
    const bool embedded = plan.photo == PhotoSource::Embedded;
    if (embedded) {
        Picture photo = embedded_photograph(m.photo);
        outcome.reason = photo.problem;
        rgb = photo.image;
    }
    if (outcome.reason.isEmpty())
        outcome.reason = temperatures_problem(m);
    FieldChoice choice = options_field(input.options);
    if (outcome.reason.isEmpty() && embedded)
        outcome.reason = camera_choice(m, ir, rgb, input.options, choice);
    if (outcome.reason.isEmpty())
        process_measured(plan, m, ir, rgb, choice, input, worker, outcome);
}

} // namespace

PairOutcome execute_pair(const PairPlan &plan, const RunInput &input, Worker &worker,
                         std::FILE *diagnostics)
{
    PairOutcome outcome;
    outcome.plan = plan;
    try {
        execute_unguarded(plan, input, worker, diagnostics, outcome);
    } catch (const std::bad_alloc &) {
        outcome.reason = QStringLiteral("There was not enough memory to process the pair.");
    } catch (const cv::Exception &e) {
        outcome.reason = QStringLiteral("The pair could not be processed: %1")
                             .arg(QString::fromStdString(e.err));
    } catch (const std::exception &e) {
        outcome.reason =
            QStringLiteral("The pair could not be processed: %1").arg(QString::fromUtf8(e.what()));
    }
    if (outcome.state != PairState::Processed) {
        outcome.state = PairState::Skipped;
        // Its files, or earlier ones under its names, would pass for its results.
        remove_files(outcome.files);
        const int n = file_number(plan.number);
        if (n >= 0 && !worker.written.count(n)) {
            const PairFiles f = pair_files(input.output_dir, n);
            remove_files({f.aligned, f.part, f.table, f.mask, f.temperatures, f.thermal});
        }
    }
    return outcome;
}

PairOutcome table_entry(const PairPlan &plan)
{
    PairOutcome outcome;
    outcome.plan = plan;
    outcome.state = PairState::TableEntry;
    return outcome;
}

} // namespace ardentis
