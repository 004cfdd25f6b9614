#include "engine/measurers.h"

#include "engine/pairing.h"
#include "measurement/tagquery.h"

namespace ardentis
{

Measurement PerQueryMeasurer::measure(const PairPlan &plan, Radiometry, KeptPhoto)
{
    ProcessExifTool tool;
    double e = plan.emissivity, tr = plan.t_refl;
    Measurement m = measure_temperatures(tool, plan.flag_er, plan.radiometric, &e, &tr, work_file_);
    if (last_)
        *last_ = m.temps;
    if (m.problem.isEmpty())
        m.time = time_of_day(query_capture_time(tool, plan.radiometric, &m.problem));
    return m;
}

Measurement OneExchangeMeasurer::measure(const PairPlan &plan, Radiometry model, KeptPhoto photo)
{
    return measure_in_one_exchange(tool_, plan.radiometric, plan.flag_er, plan.emissivity,
                                   plan.t_refl, model, photo);
}

std::optional<FileFacts> OneExchangeMeasurer::facts(const QString &file)
{
    FileFacts unreadable;
    unreadable.problem = unreadable_file(file);
    return unreadable.problem.isEmpty() ? read_file_facts(tool_, file) : unreadable;
}

} // namespace ardentis
