#include "engine/plan.h"

#include "common/cnumber.h"
#include "common/textinput.h"
#include "refltable/refltable.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <climits>
#include <cmath>
#include <map>
#include <string>

#ifndef Q_OS_WIN
#include <dirent.h>
#endif

namespace ardentis
{

double parse_image_number(const QString &path, Trace *trace)
{
    const QByteArray bytes = path.toUtf8();
    double number = 0;
    int k = 0;
    bool armed = false;
    for (int i = bytes.size() - 1; i >= 0; --i) {
        const char b = bytes[i];
        if (b == '.') {
            armed = true;
            if (trace)
                trace->trace("Found");
        } else if (armed && b >= '0' && b <= '9') {
            if (trace)
                trace->trace("numnum, index" + std::to_string(i) + ", val=" + b + "\n");
            number += (b - '0') * std::pow(10.0, k);
            ++k;
        } else {
            armed = false;
        }
    }
    return number;
}

int file_number(double image_number)
{
    return image_number <= double(INT_MAX) ? int(image_number) : -1;
}

int pair_count(const RunInput &input)
{
    // By capture time there are only the pairs formed: none, when no
    // radiometric image found a photograph or kept its own.
    if (!input.pairs.empty() || input.options.pairing.by == Pairing::Time)
        return int(input.pairs.size());
    const int images = int(input.image_files.size());
    return input.options.photo == PhotoSource::Embedded ? images : images / 2;
}

QString naming_file(const PairPlan &plan)
{
    return plan.photo == PhotoSource::Embedded ? plan.radiometric : plan.visible;
}

QString naming_file_kind(const PairPlan &plan)
{
    return plan.photo == PhotoSource::Embedded ? QStringLiteral("radiometric image")
                                               : QStringLiteral("photograph");
}

ImageId image_id(const PairPlan &plan)
{
    ImageId id{plan.number, {naming_file(plan)}};
    if (plan.photo == PhotoSource::Separate)
        id.files << plan.radiometric;
    return id;
}

QString input_files_text(const PairPlan &plan)
{
    return plan.visible.isEmpty() ? plan.radiometric
                                  : plan.radiometric + QStringLiteral(", ") + plan.visible;
}

namespace
{

bool jpeg_name(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    return lower.endsWith(".jpg") || lower.endsWith(".jpeg");
}

// By name ignoring case, as a folder listing orders them; names equal but
// for case by their bytes.
bool before_ignoring_case(const QString &a, const QString &b)
{
    const int c = a.toLower().compare(b.toLower());
    return c != 0 ? c < 0 : a < b;
}

// Why the entry `name` of a folder, `entry`, is no image of it; empty when
// it is one.
QString left_out_reason(const QByteArray &name, const QFileInfo &entry, FolderLinks links)
{
    if (name.startsWith('.'))
        return QStringLiteral("it is hidden (its name begins with a full stop)");
    if (entry.isSymLink()) { // what it is below: what it links to
        if (links == FolderLinks::Skip)
            return QStringLiteral("it is a symbolic link; only plain files are taken");
        if (!entry.exists())
            return QStringLiteral("it is a link to nothing");
        return entry.isFile()
                   ? QString()
                   : QStringLiteral("it is a link to something that is not a regular file");
    }
    if (entry.isDir())
        return QStringLiteral("it is a folder");
    return entry.isFile() ? QString()
                          : QStringLiteral("it is not a regular file (a FIFO, device or socket)");
}

// The names of the entries directly in `dir`, as the file system has them.
QList<QByteArray> entry_names(const QString &dir)
{
    QList<QByteArray> names;
#ifdef Q_OS_WIN
    for (const QString &name :
         QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        names << name.toUtf8();
#else
    DIR *folder = ::opendir(QFile::encodeName(dir).constData());
    if (!folder)
        return names;
    while (const dirent *entry = ::readdir(folder))
        names << QByteArray(entry->d_name);
    ::closedir(folder);
#endif
    return names;
}

} // namespace

FolderImages list_jpeg_files(const QString &dir, FolderLinks links)
{
    const QDir folder(dir);
    FolderImages images;
    for (const QByteArray &name : entry_names(dir)) {
        if (!jpeg_name(name)) {
            const QString other = QFile::decodeName(name);
            if (!name.startsWith('.') && QFileInfo(folder.absoluteFilePath(other)).isFile())
                images.others << other;
            continue;
        }
        if (!is_utf8(std::string_view(name.constData(), size_t(name.size())))) {
            images.left_out.push_back(
                {folder.absoluteFilePath(escaped_bytes(name.toStdString())),
                 QStringLiteral("its name is not UTF-8 text; rename the file"), true});
            continue;
        }
        const QString path = folder.absoluteFilePath(QFile::decodeName(name));
        const QString reason = left_out_reason(name, QFileInfo(path), links);
        if (reason.isEmpty())
            images.files << path;
        else
            images.left_out.push_back({path, reason, false});
    }
    std::sort(images.files.begin(), images.files.end(), before_ignoring_case);
    std::sort(images.others.begin(), images.others.end(), before_ignoring_case);
    std::sort(images.left_out.begin(), images.left_out.end(),
              [](const LeftOutEntry &a, const LeftOutEntry &b) {
                  return before_ignoring_case(a.path, b.path);
              });
    return images;
}

QStringList folders_with_jpeg_files(const QString &dir, int depth, int most)
{
    QStringList found;
    const QDir folder(dir);
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, order)) {
        if (found.size() >= most)
            break;
        const QString inside = folder.absoluteFilePath(name);
        const QStringList files = QDir(inside).entryList(QDir::Files, order);
        if (std::any_of(files.begin(), files.end(),
                        [](const QString &f) { return jpeg_name(QFile::encodeName(f)); }))
            found << inside;
        else if (depth > 1)
            found << folders_with_jpeg_files(inside, depth - 1, most - int(found.size()));
    }
    return found;
}

namespace
{

// The pair's files: formed beforehand, or taken in the list's order.
void pair_files_of(const RunInput &input, int k, PairPlan &plan)
{
    if (!input.pairs.empty()) {
        const PairSource &source = input.pairs.at(size_t(k));
        plan.radiometric = source.radiometric;
        plan.visible = source.visible;
        plan.problem = source.problem;
        plan.photo = plan.visible.isEmpty() ? PhotoSource::Embedded : PhotoSource::Separate;
        return;
    }
    plan.photo = input.options.photo;
    plan.radiometric = input.image_files.at(plan.photo == PhotoSource::Embedded ? k : 2 * k);
    if (plan.photo == PhotoSource::Separate)
        plan.visible = input.image_files.at(2 * k + 1);
}

} // namespace

PairPlan PairPlanner::next(int k, Trace *trace)
{
    PairPlan plan = in_force_;
    plan.pair = k;
    pair_files_of(input_, k, plan);
    plan.number = parse_image_number(naming_file(plan), trace);
    if (input_.options.naming == Naming::File)
        plan.name = QFileInfo(naming_file(plan)).completeBaseName();
    else if (file_number(plan.number) >= 0)
        plan.name = QString::number(file_number(plan.number));
    plan.table_hit = false;
    if (input_.refl_loaded) {
        const int row = match_refl_code(input_.refl_table, plan.number);
        if (row > 0) {
            refl_row_values(input_.refl_table, row, &in_force_.emissivity, &in_force_.t_refl);
            in_force_.flag_er = true;
            in_force_.table_line = row; // every line of the table is a row
            plan.table_hit = true;
        }
    }
    return plan;
}

std::vector<PairPlan> plan_pairs(const RunInput &input)
{
    std::vector<PairPlan> plans;
    PairPlanner planner(input);
    for (int k = 0; k < pair_count(input); ++k)
        plans.push_back(planner.next(k));
    return plans;
}

std::vector<std::vector<int>> file_chains(const std::vector<PairPlan> &plans)
{
    std::vector<std::vector<int>> chains;
    std::map<QString, size_t> chain_of_name;
    for (const PairPlan &plan : plans) {
        if (plan.table_hit)
            continue;
        if (!plan.name.isEmpty()) { // without a name it writes no files: a chain of its own
            const auto [found, first] = chain_of_name.emplace(plan.name, chains.size());
            if (!first) {
                chains[found->second].push_back(plan.pair);
                continue;
            }
        }
        chains.push_back({plan.pair});
    }
    return chains;
}

std::vector<std::vector<int>> writing_chains(const std::vector<PairPlan> &plans)
{
    std::vector<std::vector<int>> chains = file_chains(plans);
    for (std::vector<int> &chain : chains)
        chain.erase(std::remove_if(chain.begin(), chain.end(),
                                   [&plans](int k) { return !plans[size_t(k)].problem.isEmpty(); }),
                    chain.end());
    return chains;
}

SharedName first_shared_name(const std::vector<PairPlan> &plans)
{
    SharedName shared;
    for (const std::vector<int> &chain : writing_chains(plans))
        if (chain.size() > 1 && (shared.name.isEmpty() || chain[1] < shared.second.pair))
            shared = {plans[size_t(chain[0])].name, plans[size_t(chain[0])],
                      plans[size_t(chain[1])]};
    return shared;
}

} // namespace ardentis
