#include "engine/pair.h"

#include "analysis/registration.h"
#include "common/cnumber.h"
#include "engine/embedded.h"
#include "engine/pairing.h"
#include "outputs/lines.h"
#include "outputs/resultfiles.h"
#include "outputs/wholefile.h"
#include "pictures/pictures.h"
#include "trials/weatherlog.h"

#include <climits>
#include <cmath>

namespace ardentis
{

namespace
{

void trace_data_lines(Trace &trace, const Measurement &m)
{
    const cv::Mat &t = m.temps;
    if (t.total() >= 3 && t.type() == CV_64FC1 && t.isContinuous()) {
        const double *v = t.ptr<double>(0);
        trace.trace("\nDATA: " + format_fixed6(v[0]) + " " + format_fixed6(v[1]) + " " +
                    format_fixed6(v[2]) + "\n");
    }
    trace.trace("\n" + format_fixed6(m.calibration.emissivity) + "," +
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

// Why the pair's files cannot be named.
QString name_problem(const PairPlan &plan, const RunOptions &options)
{
    if (!plan.name.isEmpty())
        return {};
    if (options.naming == Naming::File)
        return QStringLiteral("The name of %1 gives no name for the pair's files.")
            .arg(naming_file(plan));
    const QString number = std::isfinite(plan.number)
                               ? QString::fromStdString(format_fixed(plan.number, 0))
                               : QStringLiteral("of more than 308 digits");
    return QStringLiteral("The image number %1 is beyond %2, the largest that names result "
                          "files; --names file names them after the %3 instead.")
        .arg(number)
        .arg(INT_MAX)
        .arg(naming_file_kind(plan));
}

// The checks of the separate photograph before any tool runs; a field from
// the camera's values is checked once they are known. The search and the
// report take the photograph's halvings: they are made as it is decoded.
// `facts` takes what the photograph's file tells beside its picture.
QString photograph_problem(const PairPlan &plan, const RunOptions &options, const cv::Mat &ir,
                           cv::Mat &rgb, HalvingsAsDecoded &halvings, Picture &facts)
{
    FieldChoice choice = options_field(options);
    choice.search = choice.search || uses_camera_field(plan, options);
    RowsDone rows_done;
    if (choice.search || options.extras)
        rows_done = [&halvings](const cv::Mat &photo, int rows) {
            halvings.rows_done(photo, rows);
        };
    Picture v =
        read_picture(plan.visible, QStringLiteral("photograph"), Turning::Upright, rows_done);
    if (!v.problem.isEmpty())
        return v.problem;
    rgb = v.image;
    v.image.release();
    facts = v;
    return pictures_problem_for(ir, rgb, choice);
}

// A photograph with a thermal camera's segments that holds raw thermal data
// is a radiometric image: its picture is the thermal one, which no field
// search may take for the scene.
QString radiometric_photograph_problem(const PairPlan &plan, PairMeasurer &measurer)
{
    const std::optional<FileFacts> facts = measurer.facts(plan.visible);
    if (!facts || !facts->problem.isEmpty() || !facts->raw)
        return {};
    return QStringLiteral("The photograph holds raw thermal data: it is a radiometric image.");
}

// When the list's order pairs two photographs, two radiometric images or a
// photograph with the radiometric image after it, and the measurer can tell:
// a sentence that says so.
QString order_sentence(const PairPlan &plan, const RunInput &input, PairMeasurer &measurer)
{
    if (!input.pairs.empty() || plan.photo != PhotoSource::Separate)
        return {};
    const std::optional<FileFacts> first = measurer.facts(plan.radiometric);
    const std::optional<FileFacts> second =
        first && first->problem.isEmpty() ? measurer.facts(plan.visible) : std::nullopt;
    if (!second || !second->problem.isEmpty())
        return {};
    const QString order = order_problem(first->raw, second->raw);
    return order.isEmpty() ? order : QLatin1Char(' ') + order;
}

QString temperatures_problem(const Measurement &m)
{
    if (!m.problem.isEmpty())
        return m.problem;
    if (m.temps.empty())
        return no_raw_data_text();
    if (m.without_temperature * 2 > int(m.temps.total()))
        return QStringLiteral("The raw data, or the temperatures they give, lie outside the "
                              "calibration or beyond what the camera measures (%1 to %2 °C): %3 "
                              "of %4 pixels have no temperature.")
            .arg(m.calibration.range.min, 0, 'f', 1)
            .arg(m.calibration.range.max, 0, 'f', 1)
            .arg(m.without_temperature)
            .arg(m.temps.total());
    return {};
}

// The pair's files, or why they cannot be made.
QString pair_outputs(const PairPictures &p, const Measurement &m, const PairFiles &files,
                     const RunOptions &options, std::vector<OutputFile> &out)
{
    const EncodedPicture blend = encode_picture(p.blend, ".jpg"),
                         part = encode_picture(p.part, ".jpg"),
                         masked = encode_picture(p.masked, ".jpg");
    for (const EncodedPicture *e : {&blend, &part, &masked})
        if (!e->problem.isEmpty())
            return e->problem;
    out = {{files.aligned, blend.bytes},
           {files.part, part.bytes},
           {files.table, {}},
           {files.mask, masked.bytes}};
    if (options.temperatures) {
        out.push_back({files.temperatures, {}});
        temperature_tables(m.temps, p.plant, out[2].bytes, out[4].bytes);
    } else {
        out[2].bytes = temperature_table(m.temps, p.plant);
    }
    return {};
}

PairRecord pair_record(const PairPlan &plan, const Measurement &m, const Registration &reg,
                       const RunOptions &options)
{
    PairRecord r;
    r.number = plan.number;
    r.radiometric = plan.radiometric.toStdString();
    r.photograph = plan.visible.toStdString();
    r.time = m.time.toStdString();
    if (const auto taken = local_time(QString::fromUtf8(m.date_time)))
        r.date = local_time_text(*taken).left(10).toStdString();
    r.field = reg.field;
    r.searched = reg.searched;
    r.registered = reg.registered;
    r.correlation = reg.correlation;
    r.fit = reg.fit;
    r.shift = reg.shift;
    r.near = reg.near;
    r.mask = mask_name(options.mask.method);
    r.radiometry = m.calibration.model == Radiometry::Full ? "full" : "simple";
    r.emissivity = m.calibration.emissivity;
    r.t_refl = m.calibration.t_refl;
    return r;
}

// Adds a sentence to the pair's note.
void add_to_note(QString sentence, PairOutcome &outcome)
{
    if (!outcome.note.isEmpty()) { // after another note's full stop: a sentence of its own
        sentence[0] = sentence[0].toUpper();
        outcome.note += QLatin1Char(' ');
    }
    outcome.note += sentence;
}

// A black photograph shows no plant, whatever noise a mask might take for it:
// a camera may keep one inside the radiometric image when its visible lens
// saw nothing. The user is told, as of any pair left without a plant mean.
void note_no_plant(const PairPlan &plan, PairPictures &pictures, PairOutcome &outcome)
{
    if (plan.photo == PhotoSource::Embedded && black_picture(pictures.part)) {
        pictures.plant.setTo(0);
        pictures.masked.setTo(0);
        pictures.mean = std::nan("");
        add_to_note(QStringLiteral("the photograph is black: nothing in it can be told for plant, "
                                   "so the plant fraction is 0 and the mean nan."),
                    outcome);
    } else if (std::isnan(pictures.mean)) {
        add_to_note(QStringLiteral("the mask finds no plant pixel with a temperature in the "
                                   "field, so the plant mean is nan."),
                    outcome);
    }
}

void process_measured(const PairPlan &plan, const Measurement &m, const cv::Mat &ir,
                      const cv::Mat &rgb, const HalvingsAsDecoded &halvings,
                      const FieldChoice &choice, const RunInput &input, Worker &worker,
                      PairOutcome &outcome)
{
    const RunOptions &options = input.options;
    const PhotoScales photo(rgb, &halvings);
    Registration reg;
    reg.field = choice.field;
    const QString room = choice.search ? field_room_problem(rgb.size(), m.temps.size()) : "";
    if (!room.isEmpty() && choice.near) { // the camera's field, which the photograph holds
        outcome.note =
            QStringLiteral("field not searched: %1 The camera's field is used.").arg(room);
    } else if (choice.search) {
        outcome.problem = room;
        if (!outcome.problem.isEmpty())
            return;
        reg = choice.near ? register_near(photo, m.temps, choice.field)
                          : register_field(photo, m.temps, choice.field, m.field_of_view);
        if (!reg.registered)
            outcome.note = QStringLiteral("field not registered: %1.").arg(reg.note);
    }
    PairPictures pictures = compute_pair(ir, rgb, m.temps, reg.field, options.mask);
    note_no_plant(plan, pictures, outcome);
    const PairFiles files = pair_files(input.output_dir, plan.name);
    std::vector<OutputFile> outputs;
    outcome.problem = pair_outputs(pictures, m, files, options, outputs);
    if (outcome.problem.isEmpty())
        outcome.problem = write_together(outputs);
    if (!outcome.problem.isEmpty())
        return;
    for (const OutputFile &f : outputs)
        outcome.files << f.path;
    worker.written.insert(plan.name);
    outcome.summary_line = summary_line(plan.number, m.time.toStdString(), pictures.mean);
    outcome.date_time = m.date_time;
    outcome.record = pair_record(plan, m, reg, options);
    if (options.stats || options.extras) {
        const PlantStats &stats = outcome.record.plant = plant_statistics(m.temps, pictures.plant);
        if (options.trial)
            outcome.trial = trial_values(*options.trial, {image_id(plan), m.date_time, m.camera_air,
                                                          m.camera_humidity, stats.mean});
        outcome.stats_line = stats_line(
            outcome.record, options.trial ? trial_cells(*options.trial, outcome.trial) : "");
        if (options.extras)
            outcome.extras = options.extras->piece({outcome, photo, m, pictures});
    }
    outcome.state = PairState::Processed;
}

void execute_unguarded(const PairPlan &plan, const RunInput &input, Worker &worker, Trace *trace,
                       PairOutcome &outcome)
{
    outcome.problem = plan.problem;
    if (!outcome.problem.isEmpty())
        return;
    cv::Mat ir, rgb;
    HalvingsAsDecoded halvings;
    Picture photo_facts;
    Picture r = read_picture(plan.radiometric, QStringLiteral("radiometric image"));
    outcome.problem = r.problem;
    ir = r.image;
    if (outcome.problem.isEmpty() && plan.photo == PhotoSource::Separate) {
        outcome.problem = photograph_problem(plan, input.options, ir, rgb, halvings, photo_facts);
        if (outcome.problem.isEmpty() && photo_facts.thermal_segments)
            outcome.problem = radiometric_photograph_problem(plan, *worker.measurer);
        if (!outcome.problem.isEmpty())
            outcome.problem += order_sentence(plan, input, *worker.measurer);
    }
    if (outcome.problem.isEmpty())
        outcome.problem = name_problem(plan, input.options);
    if (outcome.problem.isEmpty())
        outcome.problem = table_values_problem(plan);
    if (!outcome.problem.isEmpty())
        return;
    const Measurement m =
        worker.measurer->measure(plan, input.options.radiometry, kept_photo(plan, input.options));
    if (trace && !input.refl_loaded)
        trace_data_lines(*trace, m);
    outcome.pixels = int(m.temps.total());
    outcome.without_temperature = m.without_temperature;
    // The tool's failure or a file without raw data first: neither tells
    // anything about a photograph.
    outcome.problem = temperatures_problem(m);
    if (outcome.problem == no_raw_data_text())
        outcome.problem += order_sentence(plan, input, *worker.measurer);
    FieldChoice choice;
    if (outcome.problem.isEmpty())
        outcome.problem = photograph_and_field(plan, m, ir, input.options,
                                               photo_facts.turned_quarter, rgb, choice);
    if (outcome.problem.isEmpty())
        process_measured(plan, m, ir, rgb, halvings, choice, input, worker, outcome);
}

} // namespace

PairOutcome execute_pair(const PairPlan &plan, const RunInput &input, Worker &worker, Trace *trace)
{
    PairOutcome outcome;
    outcome.plan = plan;
    // The libraries' own exceptions (the image library's, memory) skip this
    // pair only.
    try {
        execute_unguarded(plan, input, worker, trace, outcome);
    } catch (const std::bad_alloc &) {
        outcome.problem = QStringLiteral("There was not enough memory to process the pair.");
    } catch (const cv::Exception &e) {
        outcome.problem = QStringLiteral("The pair could not be processed: %1")
                              .arg(QString::fromStdString(e.err));
    } catch (const std::exception &e) {
        outcome.problem =
            QStringLiteral("The pair could not be processed: %1").arg(QString::fromUtf8(e.what()));
    }
    if (outcome.state != PairState::Processed) {
        outcome.state = PairState::Skipped;
        // Its files, or earlier ones under its names, would pass for its results.
        remove_files(outcome.files);
        outcome.files.clear();
        if (!plan.name.isEmpty() && !worker.written.count(plan.name)) {
            const PairFiles f = pair_files(input.output_dir, plan.name);
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
