#include "engine/pairing.h"

#include "pictures/pictures.h"
#include "trials/weatherlog.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <iterator>
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

// The worth of a set of pairs: more pairs, then the smaller sums of their
// candidates' keys.
struct Worth {
    int pairs = 0;
    double apart = 0, names = 0;
    int before = 0, list = 0;

    Worth with(const Candidate &c) const
    {
        return {pairs + 1, apart + c.apart, names + c.names, before + int(c.before), list + c.list};
    }
    bool operator<(const Worth &o) const // worse than
    {
        return pairs != o.pairs ? pairs < o.pairs
                                : std::tie(o.apart, o.names, o.before, o.list) <
                                      std::tie(apart, names, before, list);
    }
};

// The files `is` marks, in the order the camera took them: by capture time,
// then by the number in the name, then in the list.
std::vector<int> in_taking_order(const Timing &t, const std::vector<char> &is)
{
    std::vector<int> order;
    for (int i = 0; i < t.files.size(); ++i)
        if (is[size_t(i)])
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&t](int a, int b) {
        return std::tie(*t.times[size_t(a)], t.numbers[size_t(a)], a) <
               std::tie(*t.times[size_t(b)], t.numbers[size_t(b)], b);
    });
    return order;
}

// The best of the pairs that keep the order of taking, between `n`
// radiometric images and `m` photographs in that order: `edges` holds the
// candidates of each radiometric image, `column` the place of a
// candidate's photograph. Adds them to `chosen`.
void best_in_order(size_t n, size_t m, const std::vector<const Candidate *> *edges,
                   const std::function<size_t(const Candidate &)> &column,
                   std::vector<Candidate> &chosen)
{
    std::vector<Worth> last(m + 1), row(m + 1);
    std::vector<const Candidate *> linked(m + 1);
    enum Step : char { SkipRadiometric, SkipPhotograph, Pair };
    std::vector<Step> how(n * m);
    for (size_t i = 1; i <= n; ++i) {
        for (const Candidate *c : edges[i - 1])
            linked[column(*c) + 1] = c;
        for (size_t j = 1; j <= m; ++j) {
            Step step = SkipRadiometric;
            Worth best = last[j];
            if (best < row[j - 1])
                best = row[j - 1], step = SkipPhotograph;
            if (linked[j] && best < last[j - 1].with(*linked[j]))
                best = last[j - 1].with(*linked[j]), step = Pair;
            row[j] = best;
            how[(i - 1) * m + j - 1] = step;
        }
        for (const Candidate *c : edges[i - 1])
            linked[column(*c) + 1] = nullptr;
        std::swap(last, row);
    }
    for (size_t i = n, j = m; i > 0 && j > 0;) {
        const Step step = how[(i - 1) * m + j - 1];
        if (step == Pair)
            chosen.push_back(
                **std::find_if(edges[i - 1].begin(), edges[i - 1].end(),
                               [&](const Candidate *c) { return column(*c) == j - 1; }));
        i -= step != SkipPhotograph;
        j -= step != SkipRadiometric;
    }
}

// The best pairs among the candidates that keep the order of taking: the
// camera takes both pictures of a shot before those of the next, so the pairs
// of two shots never cross in time. No candidate spans a gap wider than the
// tolerance, so the pairs are chosen between such gaps.
std::vector<Candidate> in_order_pairs(const Timing &t, const std::vector<Candidate> &found)
{
    std::vector<char> is_r(size_t(t.files.size())), is_p(size_t(t.files.size()));
    for (const Candidate &c : found)
        is_r[size_t(c.radiometric)] = is_p[size_t(c.photograph)] = 1;
    const std::vector<int> rs = in_taking_order(t, is_r), ps = in_taking_order(t, is_p);
    std::vector<size_t> place(size_t(t.files.size())); // in the order of its kind
    for (const std::vector<int> *order : {&rs, &ps})
        for (size_t k = 0; k < order->size(); ++k)
            place[size_t((*order)[k])] = k;
    std::vector<std::vector<const Candidate *>> edges(rs.size());
    for (const Candidate &c : found)
        edges[place[size_t(c.radiometric)]].push_back(&c);
    const auto time = [&t](int file) { return *t.times[size_t(file)]; };
    std::vector<Candidate> chosen;
    for (size_t r0 = 0, p0 = 0, r1, p1; r0 < rs.size(); r0 = r1, p0 = p1) {
        LocalTime at = std::min(time(rs[r0]), p0 < ps.size() ? time(ps[p0]) : time(rs[r0]));
        for (r1 = r0, p1 = p0;;) { // the next picture taken, of either kind
            const bool r_next = r1 < rs.size() && (p1 == ps.size() || time(rs[r1]) <= time(ps[p1]));
            if (!r_next && p1 == ps.size())
                break;
            const LocalTime next = r_next ? time(rs[r1]) : time(ps[p1]);
            if (double(next - at) > t.tolerance)
                break;
            at = next;
            ++(r_next ? r1 : p1);
        }
        best_in_order(
            r1 - r0, p1 - p0, edges.data() + r0,
            [&, p0](const Candidate &c) { return place[size_t(c.photograph)] - p0; }, chosen);
    }
    return chosen;
}

QString seconds_text(double seconds)
{
    return QString::number(seconds, 'g', 6);
}

// The pair of radiometric image `r` that found no photograph; `any_near`:
// those taken near it went to other pairs.
PlannedPair unpaired(const Timing &t, int r, bool any_near)
{
    const FileFacts &f = t.facts[size_t(r)];
    PlannedPair p;
    p.plan.radiometric = t.files[r];
    const QString taken = QString::fromUtf8(f.date_time), within = seconds_text(t.tolerance);
    const QString why =
        !t.times[size_t(r)]
            ? QStringLiteral("it has no capture time (DateTimeOriginal) to pair it by")
        : any_near
            ? QStringLiteral("the photographs taken within %1 s of it (%2) are paired with "
                             "other radiometric images")
                  .arg(within, taken)
            : QStringLiteral("no photograph was taken within %1 s of it (%2)").arg(within, taken);
    if (f.embedded.empty())
        p.plan.problem =
            QStringLiteral("It is in no pair: %1, and it keeps no photograph inside.").arg(why);
    else
        p.notes << QStringLiteral("%1: the photograph it keeps inside is used.").arg(why);
    return p;
}

QString left_over_text(const Timing &t, int photograph, bool any_near)
{
    const FileFacts &f = t.facts[size_t(photograph)];
    const QString why =
        !picture(f) ? QStringLiteral("it is no photograph that can be read (%1)")
                          .arg(QString::fromUtf8(f.mime))
        : !t.times[size_t(photograph)] ? QStringLiteral("it has no capture time (DateTimeOriginal)")
        : any_near ? QStringLiteral("the radiometric images taken within %1 s of it are paired "
                                    "with other photographs")
                         .arg(seconds_text(t.tolerance))
                   : QStringLiteral("no radiometric image was taken within %1 s of it")
                         .arg(seconds_text(t.tolerance));
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
    std::vector<bool> near(size_t(files.size()), false);
    const std::vector<Candidate> found = t.candidates();
    for (const Candidate &c : found)
        near[size_t(c.photograph)] = near[size_t(c.radiometric)] = true;
    for (const Candidate &c : in_order_pairs(t, found)) {
        partner[size_t(c.radiometric)] = c.photograph;
        partner[size_t(c.photograph)] = c.radiometric;
    }
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
