#include "batch/options.h"

#include "pictures/pictures.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <cmath>
#include <optional>

namespace ardentis
{

namespace
{

// A crop's baseline, in °C and °C/kPa, lies well within this of 0.
constexpr int max_baseline_value = 100;

QCommandLineOption option(const QStringList &names, const char *description,
                          const char *value = nullptr)
{
    return value ? QCommandLineOption(names, QString::fromUtf8(description), QLatin1String(value))
                 : QCommandLineOption(names, QString::fromUtf8(description));
}

struct Options {
    QCommandLineOption help = option({"h", "help"}, "Shows this help.");
    QCommandLineOption version = option({"v", "version"}, "Shows the version.");
    QCommandLineOption output =
        option({"o", "output"},
               "Folder for result.csv, stats.csv and the result folders (created if "
               "missing).",
               "DIR");
    QCommandLineOption table =
        option({"t", "table"},
               "Table of emissivity and reflected temperature by image number: CSV lines of "
               "number,emissivity,temperature in °C.",
               "FILE");
    QCommandLineOption jobs = option({"j", "jobs"},
                                     "Pairs processed at once (default: one per "
                                     "core).",
                                     "N");
    QCommandLineOption timeout = option(
        {"tool-timeout"},
        "Longest wait in seconds for ExifTool's answer on one image; a pair whose answer does not "
        "come in time is skipped (default 60).",
        "SECONDS");
    QCommandLineOption photo = option(
        {"photo"},
        "separate (default): IMAGE... are pairs, each radiometric image followed by its "
        "photograph. embedded: each image (or every JPEG of the folder) is a radiometric image "
        "that keeps its photograph inside, as many handheld FLIR cameras store it; its image "
        "number comes from its own name.",
        "SOURCE");
    QCommandLineOption pair = option(
        {"pair"},
        "order (default): IMAGE... pair in their order. time: each radiometric image (a file with "
        "raw thermal data) pairs with the photograph whose capture time is nearest, within 2 s or "
        "the SECONDS of time:SECONDS (0 to 86400), as cameras save a photograph beside it (IR_0007 "
        "with DC_0008); one with no photograph that near uses the photograph it keeps inside, if "
        "any. Photographs in no pair are named.",
        "order|time[:SECONDS]");
    QCommandLineOption names =
        option({"names"},
               "number (default): result files are named after each pair's image number "
               "(1PartRGB_123.jpg). file: after its photograph's file name "
               "(1PartRGB_plot7_dry.jpg), for names whose numbers collide.",
               "number|file");
    QCommandLineOption field = option(
        {"field"},
        "X,Y,W,H: where the thermal picture lies in the photograph, in photograph pixels "
        "(default 597,504,870,640, the FLIR E60 at the distance Ardentis was made for); give it "
        "when your lens or distance differs. auto: find each pair's field from its two images "
        "(the thermal picture's edges against the photograph's plants, by translation and scale, "
        "near the lens's width when the file gives its field of view), falling back to the "
        "default field, or to the X,Y,W,H also given, or to a centred field of the lens's width "
        "when the photograph cannot hold those, where the search finds no field it trusts; where "
        "the camera's alignment values are known (see camera), the search starts from the "
        "camera's field and stays near it, as it does by default for a photograph kept inside "
        "the radiometric image, where the camera's field misses at close range (parallax). "
        "camera: exactly the field the camera's own alignment values give (Real2IR, OffsetX, "
        "OffsetY), in the photograph the radiometric image keeps or in a separate photograph of "
        "the same shape, without a search; an X,Y,W,H also given stands in where they are missing "
        "or impossible.",
        "FIELD");
    QCommandLineOption mask = option(
        {"mask"},
        "How plant is told from the rest. gb (default): green above blue. exgr: excess green "
        "minus excess red, which also rejects pale, brown and straw-coloured soil; use it on "
        "bare soil.",
        "METHOD");
    QCommandLineOption purity = option(
        {"purity"},
        "With --mask exgr: the least share of a thermal pixel's photograph pixels that must be "
        "plant for it to count as plant (over 0, at most 1; default 0.5). Raise it to keep "
        "mixed edge pixels out.",
        "F");
    QCommandLineOption radiometry = option(
        {"radiometry"},
        "simple (default): emissivity and reflected temperature only. full: also the air's "
        "transmission over the object distance and radiation and a protective window at the "
        "camera, from the values in each file; use it beyond a metre, in humid or hot air, or "
        "behind a window.",
        "MODEL");
    QCommandLineOption temperatures =
        option({"temperatures"}, "Also write every pixel's temperature in 4Temperature.");
    QCommandLineOption report = option(
        {"report"}, "Also write report.html and report/: thermal maps with a °C scale, a plot "
                    "and a table of the campaign, and every pair on one page.");
    QCommandLineOption palette = option(
        {"palette"}, "Colours of the report's maps: inferno (default), iron or grey.", "NAME");
    QCommandLineOption range =
        option({"range"},
               "The maps' temperature range in °C (default: the 1st to the 99th percentile of all "
               "plant pixels of the campaign).",
               "MIN,MAX");
    QCommandLineOption plots =
        option({"plots"},
               "Field book: CSV with a column 'image' (the image number) or 'file' (a file name "
               "of the pair, with its folder or without) and any others (plot, genotype, "
               "treatment, ...), added to stats.csv and the report.",
               "FILE");
    QCommandLineOption group = option(
        {"group"}, "With --plots: also write groups.csv, the pairs summarised by this column.",
        "COLUMN");
    QCommandLineOption air =
        option({"air"},
               "Air temperature and humidity for VPD and CTD: a weather log (CSV of time,air "
               "temperature,relative humidity), interpolated at each capture time, or camera: the "
               "values set on the camera.",
               "FILE|camera");
    QCommandLineOption cwsi =
        option({"cwsi"},
               "With --air: also the crop water stress index from the crop's non-water-stressed "
               "baseline, canopy less air temperature = A + B * VPD (°C, °C/kPa).",
               "A,B");
    QList<QCommandLineOption> all() const
    {
        return {help,   version, output, table, jobs,   timeout,    photo,
                pair,   names,   field,  mask,  purity, radiometry, temperatures,
                report, palette, range,  plots, group,  air,        cwsi};
    }
};

QString description()
{
    return QStringLiteral(
        "Measures plant temperatures in pairs of FLIR radiometric JPEGs and visible-light\n"
        "photographs, as the Ardentis window's \"Generate results\" does.\n\n"
        "IMAGE... is the input list: radiometric image, photograph, radiometric image,\n"
        "photograph, ... or a folder, whose JPEG files are taken in name order (also\n"
        "in its place among other inputs).\n"
        "With --pair time they may come in any order, as the camera wrote them; with\n"
        "--photo embedded every image is a radiometric image with its photograph inside.\n"
        "Put -- before file names that begin with a dash.\n\n"
        "Exit status: 0 every pair processed or used as a table entry, 1 some pairs\n"
        "skipped or a result file incomplete, 2 the input or the command line is wrong.");
}

void configure(QCommandLineParser &parser, const Options &o)
{
    parser.setApplicationDescription(description());
    parser.addOptions(o.all());
    parser.addPositionalArgument(QStringLiteral("IMAGE"),
                                 QStringLiteral("Input images, or one folder."),
                                 QStringLiteral("IMAGE..."));
}

// `count` numbers separated by commas, in the C locale's notation.
std::optional<std::vector<double>> numbers(const QString &text, int count)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return std::nullopt;
    std::vector<double> values;
    for (const QString &p : parts) {
        bool ok = false;
        values.push_back(p.trimmed().toDouble(&ok));
        if (!ok)
            return std::nullopt;
    }
    return values;
}

QString parse_field(const QStringList &values, BatchOptions &b)
{
    RunOptions &run = b.input.options;
    for (const QString &value : values) {
        if (value == QLatin1String("auto")) {
            run.search_field = true;
            continue;
        }
        if (value == QLatin1String("camera")) {
            run.camera_field = true;
            continue;
        }
        const auto v = numbers(value, 4);
        const auto whole = [](double x) { return std::isfinite(x) && std::floor(x) == x; };
        if (!v || !std::all_of(v->begin(), v->end(), whole) || (*v)[0] < 0 || (*v)[1] < 0 ||
            (*v)[2] < 1 || (*v)[3] < 1)
            return QStringLiteral("--field takes auto, camera or X,Y,W,H in whole pixels, not "
                                  "'%1'.")
                .arg(value);
        // In doubles: the sums of the largest whole numbers overflow.
        if (((*v)[0] + (*v)[2]) * ((*v)[1] + (*v)[3]) > max_picture_pixels)
            return QStringLiteral("--field %1 does not fit in any photograph: none of more than %2 "
                                  "megapixels is read.")
                .arg(value)
                .arg(max_picture_pixels / 1e6);
        run.field = {int((*v)[0]), int((*v)[1]), int((*v)[2]), int((*v)[3])};
        run.field_given = true;
    }
    return {};
}

// `given`: the option was on the command line, an empty value too.
QString parse_pairing(const QString &value, bool given, RunOptions &run)
{
    if (!given || value == QLatin1String("order"))
        return {};
    const QString time = QStringLiteral("time");
    bool ok = value == time;
    if (value.startsWith(time + QLatin1Char(':')))
        run.pairing.tolerance = value.mid(time.size() + 1).toDouble(&ok);
    if (!ok || !(run.pairing.tolerance >= 0 && run.pairing.tolerance <= max_pairing_seconds))
        return QStringLiteral("--pair takes order, time or time:SECONDS with SECONDS from 0 to "
                              "%1, not '%2'.")
            .arg(max_pairing_seconds)
            .arg(value);
    if (run.photo == PhotoSource::Embedded)
        return QStringLiteral("--pair time pairs separate photographs; with --photo embedded "
                              "every image is a pair by itself.");
    run.pairing.by = Pairing::Time;
    return {};
}

QString parse_style(const QCommandLineParser &p, const Options &o, BatchOptions &b)
{
    const QString palette = p.value(o.palette);
    if (palette == QLatin1String("iron"))
        b.style.palette = Palette::Iron;
    else if (palette == QLatin1String("grey"))
        b.style.palette = Palette::Grey;
    else if (p.isSet(o.palette) && palette != QLatin1String("inferno"))
        return QStringLiteral("--palette takes inferno, iron or grey, not '%1'.").arg(palette);
    if (p.isSet(o.range)) {
        const auto v = numbers(p.value(o.range), 2);
        if (!v || !((*v)[0] >= -kelvin_offset && (*v)[1] <= max_celsius &&
                    (*v)[1] - (*v)[0] >= min_map_span))
            return QStringLiteral(
                       "--range takes MIN,MAX in °C from %1 to %2, MAX at least %3 above "
                       "MIN, not '%4'.")
                .arg(-kelvin_offset)
                .arg(max_celsius)
                .arg(min_map_span)
                .arg(p.value(o.range));
        b.style = {b.style.palette, true, (*v)[0], (*v)[1]};
    }
    return {};
}

QString parse_methods(const QCommandLineParser &p, const Options &o, BatchOptions &b)
{
    RunOptions &run = b.input.options;
    const QString mask = p.value(o.mask);
    if (mask == QLatin1String("exgr"))
        run.mask.method = MaskMethod::ExGR;
    else if (p.isSet(o.mask) && mask != QLatin1String("gb"))
        return QStringLiteral("--mask takes gb or exgr, not '%1'.").arg(mask);
    if (p.isSet(o.purity)) {
        bool ok = false;
        run.mask.purity = p.value(o.purity).toDouble(&ok);
        if (!ok || !(run.mask.purity > 0 && run.mask.purity <= 1))
            return QStringLiteral("--purity takes a number over 0 and at most 1, not '%1'.")
                .arg(p.value(o.purity));
    }
    const QString model = p.value(o.radiometry);
    if (model == QLatin1String("full"))
        run.radiometry = Radiometry::Full;
    else if (p.isSet(o.radiometry) && model != QLatin1String("simple"))
        return QStringLiteral("--radiometry takes simple or full, not '%1'.").arg(model);
    run.temperatures = p.isSet(o.temperatures);
    b.report = p.isSet(o.report);
    const QString photo = p.value(o.photo);
    if (photo == QLatin1String("embedded"))
        run.photo = PhotoSource::Embedded;
    else if (p.isSet(o.photo) && photo != QLatin1String("separate"))
        return QStringLiteral("--photo takes separate or embedded, not '%1'.").arg(photo);
    const QString names = p.value(o.names);
    if (names == QLatin1String("file"))
        run.naming = Naming::File;
    else if (p.isSet(o.names) && names != QLatin1String("number"))
        return QStringLiteral("--names takes number or file, not '%1'.").arg(names);
    const QString problem = parse_pairing(p.value(o.pair), p.isSet(o.pair), run);
    return problem.isEmpty() ? parse_field(p.values(o.field), b) : problem;
}

QString parse_counts(const QCommandLineParser &p, const Options &o, BatchOptions &b)
{
    b.jobs = QThread::idealThreadCount();
    b.jobs_given = p.isSet(o.jobs);
    if (b.jobs_given) {
        bool ok = false;
        b.jobs = p.value(o.jobs).toInt(&ok);
        if (!ok || b.jobs < 1)
            return QStringLiteral("--jobs takes a whole number of 1 or more, not '%1'.")
                .arg(p.value(o.jobs));
    }
    if (p.isSet(o.timeout)) {
        bool ok = false;
        const double seconds = p.value(o.timeout).toDouble(&ok);
        // Whole milliseconds, at least one: a shorter wait would fail every pair.
        b.tool_timeout_ms =
            ok && seconds >= 0.001 && seconds <= 86400 ? int(std::lround(seconds * 1000)) : 0;
        if (b.tool_timeout_ms < 1)
            return QStringLiteral(
                       "--tool-timeout takes a number of seconds from 0.001 to 86400, not '%1'.")
                .arg(p.value(o.timeout));
    }
    return {};
}

QString parse_trial(const QCommandLineParser &p, const Options &o, BatchOptions &b)
{
    TrialRequest &t = b.trial;
    t.book_path = p.value(o.plots);
    t.group = p.value(o.group);
    for (const QCommandLineOption *file : {&o.plots, &o.air})
        if (p.isSet(*file) && p.value(*file).isEmpty())
            return QStringLiteral("--%1 takes a file, not an empty name.")
                .arg(file->names().last());
    if (p.isSet(o.group) && (t.group.trimmed().isEmpty() || t.book_path.isEmpty()))
        return QStringLiteral("--group takes a column of the field book given with --plots.");
    if (p.isSet(o.air)) {
        t.air = p.value(o.air) == QLatin1String("camera") ? AirSource::Camera : AirSource::Log;
        t.log_path = t.air == AirSource::Log ? p.value(o.air) : QString();
    }
    if (p.isSet(o.cwsi)) {
        if (t.air == AirSource::None)
            return QStringLiteral("--cwsi needs --air: the index compares the canopy with the "
                                  "air.");
        // A well-watered canopy cools as the air dries: a flat baseline
        // (B = 0) has its limits coincide, and one that rises never has its
        // upper limit above its lower where A is 0 or more.
        const auto v = numbers(p.value(o.cwsi), 2);
        const auto fits = [](double x) { return std::abs(x) <= max_baseline_value; };
        if (!v || !fits((*v)[0]) || !fits((*v)[1]) || (*v)[1] >= 0)
            return QStringLiteral("--cwsi takes A,B, the crop's baseline: numbers from -%1 to %1, "
                                  "B below 0; not '%2'.")
                .arg(max_baseline_value)
                .arg(p.value(o.cwsi));
        t.cwsi = CwsiBaseline{(*v)[0], (*v)[1]};
    }
    return {};
}

QString read_paths(const QCommandLineParser &p, const Options &o, BatchOptions &b)
{
    for (const QCommandLineOption &given : {o.output, o.table})
        if (p.isSet(given) && p.value(given).isEmpty())
            return QStringLiteral("--%1 takes a %2, not an empty name.")
                .arg(given.names().last(), given.valueName() == QLatin1String("DIR")
                                               ? QStringLiteral("folder")
                                               : QStringLiteral("file"));
    if (p.isSet(o.output))
        b.input.output_dir = whole_path(p.value(o.output));
    b.table_path = p.value(o.table);
    for (const QString &image : p.positionalArguments())
        b.input.image_files << whole_path(image);
    return {};
}

} // namespace

QString whole_path(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Every problem names the option it concerns first.
QString first_option_named(const QString &problem)
{
    static const QRegularExpression named(QStringLiteral("--([a-z][a-z-]*)"));
    return named.match(problem).captured(1);
}

CommandLine parse_command_line(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options o;
    configure(parser, o);
    CommandLine line;
    if (!parser.parse(QStringList{QStringLiteral("ardentis-batch")} + arguments)) {
        line.problem = parser.errorText();
        line.option = first_option_named(line.problem);
        return line;
    }
    if (parser.isSet(o.help)) {
        line.action = CommandLine::Help;
        line.text = parser.helpText();
        return line;
    }
    if (parser.isSet(o.version)) {
        line.action = CommandLine::Version;
        line.text = QStringLiteral("ardentis-batch %1\n").arg(QStringLiteral(ARDENTIS_VERSION));
        return line;
    }
    BatchOptions &b = line.options;
    b.command = shell_words(arguments); // as it can be run again
    for (const auto step : {parse_counts, parse_methods, parse_style, parse_trial, read_paths}) {
        line.problem = step(parser, o, b);
        line.option = first_option_named(line.problem);
        if (!line.problem.isEmpty())
            return line;
    }
    line.action = CommandLine::Run;
    return line;
}

} // namespace ardentis
