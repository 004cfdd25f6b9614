#include "engine/pairing.h"

#include "pictures/pictures.h"
#include "trials/weatherlog.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>
#include <thread>
#include <tuple>

namespace ardentis
{

QString unreadable_file(const QString &file)
{
    const QString problem = file_problem(file, QStringLiteral("file"));
    // So damaged, a radiometric image would pass for a photograph.
    return problem.isEmpty() ? segments_problem(file) : problem;
}

std::vector<FileFacts> read_all_facts(const QStringList &files, const ToolFactory &tools, int jobs)
{
    std::vector<FileFacts> facts(size_t(files.size()));
    std::atomic<int> next{0};
    const auto work = [&] {
        std::unique_ptr<ExifTool> tool;
        for (int i = next++; i < files.size(); i = next++) {
            facts[size_t(i)].problem = unreadable_file(files[i]);
            if (!facts[size_t(i)].problem.isEmpty())
                continue;
            if (!tool)
                tool = tools();
            facts[size_t(i)] = read_file_facts(*tool, files[i]);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < std::min(jobs, int(files.size())); ++t)
        threads.emplace_back(work);
    for (std::thread &t : threads)
        t.join();
    return facts;
}

QString order_problem(bool first_raw, bool second_raw)
{
    if (first_raw && !second_raw)
        return {};
    const QString what = !first_raw && !second_raw
                             ? QStringLiteral("two photographs (neither holds raw thermal data)")
                         : first_raw ? QStringLiteral("two radiometric images")
                                     : QStringLiteral("a photograph, then a radiometric image");
    return QStringLiteral("In the list's order this pair is %1; --pair time pairs each "
                          "radiometric image with the photograph taken with it.")
        .arg(what);
}

namespace
{

// A possible pair by capture time: the smaller, the better.
struct Candidate {
    double apart;    // seconds
    double names;    // how far apart the numbers in their names are
    bool before;     // the photograph is numbered before the radiometric image
    int list;        // how far apart they are in the list
    int radiometric; // the files' places in the list
    int photograph;
    auto key() const { return std::tie(apart, names, before, list, radiometric, photograph); }
};

struct Timing {
    const QStringList &files;
    const std::vector<FileFacts> &facts;
    double tolerance;
    std::vector<std::optional<LocalTime>> times;
    std::vector<double> numbers;

    std::vector<Candidate> candidates() const;
};

// Whether file facts `f` are of a photograph the image library reads, rather
// than of something else that carries its capture time: the sidecar an editor
// writes beside a photograph, a camera's raw file beside its JPEG.
bool picture(const FileFacts &f)
{
    static const char *const kinds[] = {"image/jpeg",
                                        "image/png",
                                        "image/tiff",
                                        "image/bmp",
                                        "image/webp",
                                        "image/jp2",
                                        "image/x-portable-pixmap",
                                        "image/x-portable-graymap",
                                        "image/x-portable-bitmap"};
    return f.mime.isEmpty() || std::any_of(std::begin(kinds), std::end(kinds),
                                           [&f](const char *k) { return f.mime == k; });
}

std::vector<Candidate> Timing::candidates() const
{
    std::vector<std::pair<LocalTime, int>> photographs; // by time
    for (int i = 0; i < files.size(); ++i)
        if (facts[size_t(i)].problem.isEmpty() && !facts[size_t(i)].raw && times[size_t(i)] &&
            picture(facts[size_t(i)]))
            photographs.push_back({*times[size_t(i)], i});
    std::sort(photographs.begin(), photographs.end());
    std::vector<Candidate> found;
    for (int r = 0; r < files.size(); ++r) {
        if (!facts[size_t(r)].problem.isEmpty() || !facts[size_t(r)].raw || !times[size_t(r)])
            continue;
        const LocalTime t = *times[size_t(r)];
        auto p = std::lower_bound(photographs.begin(), photographs.end(),
                                  std::make_pair(t - LocalTime(std::floor(tolerance)), -1));
        for (; p != photographs.end() && double(p->first - t) <= tolerance; ++p) {
            const double a = numbers[size_t(r)], b = numbers[size_t(p->second)];
            found.push_back({std::abs(double(p->first - t)), std::abs(a - b), b < a,
                             std::abs(p->second - r), r, p->second});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Candidate &x, const Candidate &y) { return x.key() < y.key(); });
    return found;
}

// The pairs chosen so far by their capture times, to keep two from crossing:
// the camera takes both pictures of a shot before those of the next, so a
// radiometric image taken after another never pairs with a photograph taken
// before the other's. Pictures taken within the same second never cross.
class Uncrossed
{
public:
    // Whether the pair of radiometric image taken at `r` and photograph taken
    // at `p` crosses none chosen; if so, it is chosen.
    bool take(LocalTime r, LocalTime p)
    {
        // The pairs chosen keep their order: the nearest on either side tell.
        const auto after = chosen_.upper_bound(r);
        if (after != chosen_.end() && after->second.first < p)
            return false;
        auto at = chosen_.lower_bound(r);
        if (at != chosen_.begin() && std::prev(at)->second.second > p)
            return false;
        auto &[lowest, highest] = chosen_.try_emplace(r, p, p).first->second;
        lowest = std::min(lowest, p);
        highest = std::max(highest, p);
        return true;
    }

private:
    // The earliest and latest photograph of the pairs whose radiometric
    // image was taken at each time.
    std::map<LocalTime, std::pair<LocalTime, LocalTime>> chosen_;
};

QString seconds_text(double seconds)
{
    return QString::number(seconds, 'g', 6);
}

// What became of the files taken near one left in no pair.
enum class Near {
    None,   // there were none
    Paired, // they went to other pairs
    Across, // one was free, but the two would have crossed a pair in time
};

// Why a file left in no pair is: `kind` names what it lacks, `other` what it
// is, `taken` its capture time, if said.
QString near_reason(const Timing &t, Near near, const char *kind, const char *other,
                    const QString &taken)
{
    // The time is the file's own: the other's is not known when none was near.
    const QString within = seconds_text(t.tolerance),
                  when = taken.isEmpty() ? QStringLiteral("it")
                                         : QStringLiteral("its capture at %1").arg(taken);
    switch (near) {
    case Near::Across:
        return QStringLiteral("the %1 taken within %2 s of %3 is in no pair either, but the two "
                              "would cross another pair in time (one taken before that pair's "
                              "shot, the other after)")
            .arg(QLatin1String(kind), within, when);
    case Near::Paired:
        return QStringLiteral("the %1s taken within %2 s of %3 are paired with other %4s")
            .arg(QLatin1String(kind), within, when, QLatin1String(other));
    case Near::None:
        break;
    }
    return QStringLiteral("no %1 was taken within %2 s of %3")
        .arg(QLatin1String(kind), within, when);
}

// The pair of radiometric image `r` that found no photograph.
PlannedPair unpaired(const Timing &t, int r, Near near)
{
    const FileFacts &f = t.facts[size_t(r)];
    PlannedPair p;
    p.plan.radiometric = t.files[r];
    const QString why =
        !t.times[size_t(r)]
            ? QStringLiteral("it has no capture time (DateTimeOriginal) to pair it by")
            : near_reason(t, near, "photograph", "radiometric image",
                          QString::fromUtf8(f.date_time));
    if (f.embedded.empty())
        p.plan.problem =
            QStringLiteral("It is in no pair: %1, and it keeps no photograph inside.").arg(why);
    else
        p.notes << QStringLiteral("%1: the photograph it keeps inside is used.").arg(why);
    return p;
}

QString left_over_text(const Timing &t, int photograph, Near near)
{
    const FileFacts &f = t.facts[size_t(photograph)];
    const QString why = !picture(f) ? QStringLiteral("it is no photograph that can be read (%1)")
                                          .arg(QString::fromUtf8(f.mime))
                        : !t.times[size_t(photograph)]
                            ? QStringLiteral("it has no capture time (DateTimeOriginal)")
                            : near_reason(t, near, "radiometric image", "photograph", {});
    return QStringLiteral("%1: %2.").arg(t.files[photograph], why);
}

} // namespace

PairingPlan pair_by_time(const QStringList &files, const std::vector<FileFacts> &facts,
                         double tolerance)
{
    Timing t{files, facts, tolerance, {}, {}};
    for (int i = 0; i < files.size(); ++i) {
        t.times.push_back(local_time(QString::fromUtf8(facts[size_t(i)].date_time)));
        t.numbers.push_back(parse_image_number(files[i]));
    }
    std::vector<int> partner(size_t(files.size()), -1);
    std::vector<Near> near(size_t(files.size()), Near::None);
    std::vector<std::vector<int>> across(size_t(files.size())); // refused for crossing
    Uncrossed chosen;
    for (const Candidate &c : t.candidates()) {
        const size_t r = size_t(c.radiometric), p = size_t(c.photograph);
        near[r] = near[p] = Near::Paired;
        if (partner[r] >= 0 || partner[p] >= 0)
            continue;
        if (chosen.take(*t.times[r], *t.times[p])) {
            partner[r] = c.photograph;
            partner[p] = c.radiometric;
        } else {
            across[r].push_back(c.photograph);
            across[p].push_back(c.radiometric);
        }
    }
    // Crossing is the reason only while the other is left in no pair too.
    for (size_t i = 0; i < across.size(); ++i)
        if (std::any_of(across[i].begin(), across[i].end(),
                        [&partner](int other) { return partner[size_t(other)] < 0; }))
            near[i] = Near::Across;
    PairingPlan plan;
    for (int i = 0; i < files.size(); ++i) {
        const FileFacts &f = facts[size_t(i)];
        PlannedPair p;
        if (!f.problem.isEmpty()) { // what it is cannot be told: a pair of its own, skipped
            p.plan.radiometric = files[i];
            p.plan.problem = f.problem;
        } else if (!f.raw) {
            if (partner[size_t(i)] < 0)
                plan.left_over << left_over_text(t, i, near[size_t(i)]);
            continue;
        } else if (partner[size_t(i)] >= 0) {
            p.plan.radiometric = files[i];
            p.plan.visible = files[partner[size_t(i)]];
        } else {
            p = unpaired(t, i, near[size_t(i)]);
        }
        p.capture = f.date_time;
        plan.pairs.push_back({p.plan.radiometric, p.plan.visible, p.plan.problem});
        plan.planned.push_back(p);
    }
    return plan;
}

PairingPlan plan_pairing(const RunInput &input, const ToolFactory &tools, int jobs, bool inspect)
{
    const bool by_time =
        input.options.pairing.by == Pairing::Time && input.options.photo == PhotoSource::Separate;
    std::vector<FileFacts> facts;
    if (by_time || inspect)
        facts = read_all_facts(input.image_files, tools, jobs);
    PairingPlan plan;
    if (by_time)
        plan = pair_by_time(input.image_files, facts, input.options.pairing.tolerance);
    RunInput formed = input;
    formed.pairs = plan.pairs;
    const std::vector<PairPlan> plans = plan_pairs(formed);
    plan.planned.resize(plans.size());
    for (size_t k = 0; k < plans.size(); ++k) {
        PlannedPair &p = plan.planned[k];
        p.plan = plans[k];
        if (by_time || !inspect)
            continue;
        const int first = input.options.photo == PhotoSource::Embedded ? int(k) : 2 * int(k);
        const FileFacts &r = facts[size_t(first)];
        p.capture = r.date_time;
        const FileFacts *v =
            input.options.photo == PhotoSource::Separate ? &facts[size_t(first) + 1] : nullptr;
        for (const FileFacts *f : {&r, v})
            if (f && !f->problem.isEmpty())
                p.notes << f->problem;
        const QString order = v && r.problem.isEmpty() && v->problem.isEmpty()
                                  ? order_problem(r.raw, v->raw)
                                  : QString();
        if (!order.isEmpty())
            p.notes << order;
        else if (!v && r.problem.isEmpty() && !r.raw)
            p.notes << QStringLiteral("It holds no raw thermal data.");
    }
    plan.shared = first_shared_name(plans);
    return plan;
}

} // namespace ardentis
