#pragma once
// The undo and redo history of one document, as the differences between its states: the
// track values and title an edit replaced, and of the chapters only the run of top-level
// atoms (per edition) it replaced. A rename in a file with tens of megabytes of chapters
// keeps one atom, not another copy of them all.
#include "chapters.h"
#include "track_flags.h"

#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace perlane {

struct DocumentState;
struct TrackValues;

class History {
public:
    // Records the edit that turned `before` into `after`. `before` is taken apart: only
    // what the edit changed is kept of it. `after` is looked into, and left as it was.
    // `group` ties the step to steps of other documents made by the same action (0: none).
    void record(DocumentState &&before, DocumentState &after, std::uint64_t group = 0);
    // Turns `state` into the one before the last edit (or after the last undone one).
    bool undo(DocumentState &state);
    bool redo(DocumentState &state);
    bool can_undo() const { return !undo_.empty(); }
    bool can_redo() const { return !redo_.empty(); }
    std::size_t undo_size() const { return undo_.size(); }
    // The group of the step undo (or redo) would take; 0 when none or not in a group.
    std::uint64_t undo_group() const { return undo_.empty() ? 0 : undo_.back().group; }
    std::uint64_t redo_group() const { return redo_.empty() ? 0 : redo_.back().group; }
    void clear();

    static constexpr std::size_t limit = 500;

private:
    // Applied to a state, a step swaps what it holds with what the state has there, and so
    // becomes the step that goes back again.
    struct AtomRun {
        std::size_t edition = 0, at = 0, count = 0; // `count` atoms at `at` are replaced by `atoms`
        std::vector<reader::ChapterAtom> atoms;
    };
    struct Step {
        std::optional<std::vector<TrackValues>> tracks;
        std::optional<QString> title;
        std::optional<Editions> editions; // whole, when editions were added, removed or changed themselves
        std::vector<AtomRun> runs;
        std::uint64_t group = 0;
    };
    static void apply(Step &step, DocumentState &state);
    static bool move(std::deque<Step> &from, std::deque<Step> &to, DocumentState &state);
    std::deque<Step> undo_, redo_;
};

} // namespace perlane
