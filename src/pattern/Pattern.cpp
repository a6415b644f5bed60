#include "pattern/Pattern.h"

#include <initializer_list>

namespace taktwerk::pattern {

namespace {

Row rowOf(std::initializer_list<int> steps)
{
    Row row = 0;
    for (const int step : steps)
        row |= Row{1} << step;
    return row;
}

}  // namespace

Pattern Pattern::startPattern()
{
    Pattern pattern;
    pattern.setRow(index(Track::BassDrum), rowOf({0, 8, 10, 16, 20, 24, 28}));
    pattern.setRow(index(Track::SnareDrum), rowOf({4, 12, 30}));
    pattern.setRow(index(Track::HiHat), rowOf({0, 2, 4, 6, 8, 10, 12, 16}));
    pattern.setRow(index(Track::OpenHiHat), rowOf({14, 30}));
    pattern.setRow(index(Track::RideCymbal), rowOf({0, 4, 8, 12}));
    pattern.setRow(index(Track::Crash), rowOf({16}));
    pattern.setRow(index(Track::Tom1), rowOf({18, 19, 20}));
    pattern.setRow(index(Track::Tom2), rowOf({22, 23, 24}));
    pattern.setRow(index(Track::Tom3), rowOf({26, 27, 28}));
    return pattern;
}

Row rowFromText(std::string_view text) noexcept
{
    Row row = 0;
    const std::size_t length = text.size() < kStepCount ? text.size() : kStepCount;
    for (std::size_t step = 0; step < length; ++step) {
        if (text[step] == 'X')
            row |= Row{1} << step;
    }
    return row;
}

std::string textFromRow(Row row)
{
    std::string text(kStepCount, '_');
    for (int step = 0; step < kStepCount; ++step) {
        if ((row >> step) & 1u)
            text[static_cast<std::size_t>(step)] = 'X';
    }
    return text;
}

void Pattern::PatternToRow(int track, std::string_view text) noexcept
{
    rows_[idx(track)] = rowFromText(text);
}

std::string Pattern::RowToPattern(int track) const { return textFromRow(rows_[idx(track)]); }

bool Pattern::hasDefaultVelocities(int track) const noexcept
{
    return velocities_[idx(track)] == defaultVelocities()[0];
}

bool Pattern::hasDefaultVelocities() const noexcept
{
    for (int track = 0; track < kTrackCount; ++track) {
        if (!hasDefaultVelocities(track))
            return false;
    }
    return true;
}

}  // namespace taktwerk::pattern
