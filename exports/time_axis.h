// The ticks of a chart axis that shows times: steps from one minute to a
// century, placed on whole minutes, hours, days, months or years of the local
// calendar, so that a sample measured within one morning gets "09:00, 09:30"
// and one measured over years gets "2021, 2022".
#pragma once

#include <string>
#include <vector>

namespace exports {

struct TimeTick {
    double value;      // seconds since the epoch
    std::string label; // "09:30", "05.03.21", "03.2021" or "2021"
    // The date under a time of day: on the first tick and where the day
    // changes; empty otherwise, and for steps of a day or more.
    std::string date;
};

// Ticks within lo..hi (seconds since the epoch, labelled in local time): the
// smallest step that gives at most maxTicks of them, at least one tick when
// the range spans a minute or more.
std::vector<TimeTick> TimeTicks(double lo, double hi, int maxTicks);

} // namespace exports
