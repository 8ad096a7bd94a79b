#include "history.h"

#include "document.h"

#include <algorithm>
#include <utility>

namespace perlane {

namespace {

// Whether two editions differ in anything but their atoms (compared without copying them).
bool same_head(reader::EditionEntry &a, reader::EditionEntry &b) {
    std::vector<reader::ChapterAtom> atoms_a = std::move(a.chapter_atom), atoms_b = std::move(b.chapter_atom);
    a.chapter_atom.clear();
    b.chapter_atom.clear();
    const bool same = a == b;
    a.chapter_atom = std::move(atoms_a);
    b.chapter_atom = std::move(atoms_b);
    return same;
}

} // namespace

void History::record(DocumentState &&before, DocumentState &after, std::uint64_t group) {
    Step step;
    step.group = group;
    if (before.tracks != after.tracks)
        step.tracks = std::move(before.tracks);
    if (before.title != after.title)
        step.title = std::move(before.title);
    bool whole = before.editions.size() != after.editions.size();
    for (std::size_t e = 0; !whole && e < before.editions.size(); ++e)
        whole = !same_head(before.editions[e], after.editions[e]);
    if (whole) {
        step.editions = std::move(before.editions);
    } else {
        for (std::size_t e = 0; e < before.editions.size(); ++e) {
            auto &was = before.editions[e].chapter_atom;
            const auto &now = after.editions[e].chapter_atom;
            std::size_t head = 0;
            while (head < was.size() && head < now.size() && was[head] == now[head])
                ++head;
            if (head == was.size() && head == now.size())
                continue;
            std::size_t tail = 0;
            while (tail < was.size() - head && tail < now.size() - head &&
                   was[was.size() - 1 - tail] == now[now.size() - 1 - tail])
                ++tail;
            AtomRun run{e, head, now.size() - head - tail, {}};
            run.atoms.assign(std::make_move_iterator(was.begin() + static_cast<std::ptrdiff_t>(head)),
                             std::make_move_iterator(was.end() - static_cast<std::ptrdiff_t>(tail)));
            step.runs.push_back(std::move(run));
        }
    }
    undo_.push_back(std::move(step));
    if (undo_.size() > limit)
        undo_.pop_front();
    redo_.clear();
}

void History::apply(Step &step, DocumentState &state) {
    if (step.tracks)
        std::swap(*step.tracks, state.tracks);
    if (step.title)
        std::swap(*step.title, state.title);
    if (step.editions)
        std::swap(*step.editions, state.editions);
    for (AtomRun &run : step.runs) {
        auto &atoms = state.editions.at(run.edition).chapter_atom;
        const auto first = atoms.begin() + static_cast<std::ptrdiff_t>(run.at);
        std::vector<reader::ChapterAtom> taken(std::make_move_iterator(first),
                                               std::make_move_iterator(first + static_cast<std::ptrdiff_t>(run.count)));
        const auto at = atoms.erase(first, first + static_cast<std::ptrdiff_t>(run.count));
        atoms.insert(at, std::make_move_iterator(run.atoms.begin()), std::make_move_iterator(run.atoms.end()));
        run.count = run.atoms.size();
        run.atoms = std::move(taken);
    }
}

bool History::move(std::deque<Step> &from, std::deque<Step> &to, DocumentState &state) {
    if (from.empty())
        return false;
    Step step = std::move(from.back());
    from.pop_back();
    apply(step, state);
    to.push_back(std::move(step));
    return true;
}

bool History::undo(DocumentState &state) { return move(undo_, redo_, state); }

bool History::redo(DocumentState &state) { return move(redo_, undo_, state); }

void History::clear() {
    undo_.clear();
    redo_.clear();
}

} // namespace perlane
