#pragma once
// The report's parts of a field trial: the notes on what it lacks, and the
// pairs summarised by group.

#include "report/reportpage.h"

#include <QStringList>

#include <string>

namespace ardentis
{

std::string notes_html(const QStringList &notes);

// The group section: each group's mean plant temperature ± SE, sorted, and
// its numbers; empty without groups.
std::string groups_html(const PageFacts &facts);

} // namespace ardentis
