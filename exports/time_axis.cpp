#include "exports/time_axis.h"

#include <cmath>
#include <ctime>
#include <iterator>

namespace exports {

namespace {

enum class Unit { Minute, Day, Month, Year };

struct Step {
    Unit unit;
    int count;
};

constexpr Step STEPS[] = {
    {Unit::Minute, 1},   {Unit::Minute, 2},   {Unit::Minute, 5},   {Unit::Minute, 10},
    {Unit::Minute, 15},  {Unit::Minute, 30},  {Unit::Minute, 60},  {Unit::Minute, 120},
    {Unit::Minute, 180}, {Unit::Minute, 360}, {Unit::Minute, 720}, {Unit::Day, 1},
    {Unit::Day, 2},      {Unit::Day, 7},      {Unit::Day, 14},     {Unit::Month, 1},
    {Unit::Month, 2},    {Unit::Month, 3},    {Unit::Month, 6},    {Unit::Year, 1},
    {Unit::Year, 2},     {Unit::Year, 5},     {Unit::Year, 10},    {Unit::Year, 20},
    {Unit::Year, 50},    {Unit::Year, 100}};

// About how long a step is: enough to choose one.
double Seconds(const Step& step) {
    constexpr double DAY = 86400;
    switch (step.unit) {
    case Unit::Minute:
        return 60.0 * step.count;
    case Unit::Day:
        return DAY * step.count;
    case Unit::Month:
        return DAY * 30.44 * step.count;
    case Unit::Year:
        return DAY * 365.25 * step.count;
    }
    return DAY;
}

std::tm Local(double value) {
    const auto t = static_cast<std::time_t>(std::floor(value));
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::string Text(double value, const char* format) {
    const std::tm local = Local(value);
    char text[32] = "";
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// The first tick, at or before the time at: the midnight of its day, or the
// first day of its month or year, on a whole number of steps for those.
std::tm FirstTick(const std::tm& at, const Step& step) {
    std::tm start{};
    start.tm_year = at.tm_year;
    start.tm_mon = at.tm_mon;
    start.tm_mday = at.tm_mday;
    if (step.unit == Unit::Month) {
        start.tm_mday = 1;
        start.tm_mon = at.tm_mon / step.count * step.count;
    } else if (step.unit == Unit::Year) {
        start.tm_mday = 1;
        start.tm_mon = 0;
        start.tm_year = (1900 + at.tm_year) / step.count * step.count - 1900;
    }
    return start;
}

// The k-th tick after start; mktime carries minutes into days and months
// into years, on the local clock (a day with a clock change included).
double Tick(std::tm start, const Step& step, int k) {
    const int add = k * step.count;
    switch (step.unit) {
    case Unit::Minute:
        start.tm_min += add;
        break;
    case Unit::Day:
        start.tm_mday += add;
        break;
    case Unit::Month:
        start.tm_mon += add;
        break;
    case Unit::Year:
        start.tm_year += add;
        break;
    }
    start.tm_isdst = -1;
    return static_cast<double>(std::mktime(&start));
}

const char* LabelFormat(Unit unit) {
    switch (unit) {
    case Unit::Minute:
        return "%H:%M";
    case Unit::Day:
        return "%d.%m.%y";
    case Unit::Month:
        return "%m.%Y";
    case Unit::Year:
        return "%Y";
    }
    return "%d.%m.%y";
}

} // namespace

std::vector<TimeTick> TimeTicks(double lo, double hi, int maxTicks) {
    std::vector<TimeTick> ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        return ticks;
    const Step* step = &STEPS[std::size(STEPS) - 1];
    for (const Step& s : STEPS)
        if ((hi - lo) / Seconds(s) <= std::max(maxTicks - 1, 1)) {
            step = &s;
            break;
        }
    const std::tm start = FirstTick(Local(lo), *step);
    std::string lastDate;
    // The first tick is at most a day, a half-year or a century before lo.
    for (int k = 0; k < 2000; ++k) {
        const double value = Tick(start, *step, k);
        if (value > hi)
            break;
        if (value < lo)
            continue;
        TimeTick tick{value, Text(value, LabelFormat(step->unit)), {}};
        if (step->unit == Unit::Minute) {
            std::string date = Text(value, "%d.%m.%y");
            if (date != lastDate)
                tick.date = lastDate = std::move(date);
        }
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

} // namespace exports
