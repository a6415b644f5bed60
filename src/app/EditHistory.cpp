#include "app/EditHistory.h"

#include <algorithm>

namespace taktwerk::app {

EditHistory::EditHistory(std::size_t levels) : levels_(std::max<std::size_t>(levels, 1)) {}

void EditHistory::record(const RhythmSnapshot& before, EditSeries series)
{
    redo_.clear();
    if (series != kNoSeries && series == open_ && !undo_.empty())
        return;
    open_ = series;
    undo_.push_back(before);
    if (undo_.size() > levels_)
        undo_.pop_front();
}

std::optional<RhythmSnapshot> EditHistory::undo(const RhythmSnapshot& current)
{
    open_ = kNoSeries;
    if (undo_.empty())
        return std::nullopt;
    RhythmSnapshot back = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(current);
    return back;
}

std::optional<RhythmSnapshot> EditHistory::redo(const RhythmSnapshot& current)
{
    open_ = kNoSeries;
    if (redo_.empty())
        return std::nullopt;
    RhythmSnapshot forward = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(current);
    return forward;
}

void EditHistory::renameRhythm(const std::filesystem::path& oldFile, const std::string& newName,
                               const std::filesystem::path& newFile)
{
    for (auto* entries : {&undo_, &redo_}) {
        for (RhythmSnapshot& entry : *entries) {
            if (entry.file == oldFile) {
                entry.name = newName;
                entry.file = newFile;
            }
        }
    }
}

}  // namespace taktwerk::app
