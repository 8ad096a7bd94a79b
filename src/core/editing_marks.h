#pragma once
// Which files a running perlane holds unsaved edits of, so that another instance (or
// perlane-batch) leaves them alone. A mark is a small file named by the file's device and
// inode, held under a shared lock while the edits are pending: it goes when the process
// does, however it ends, so a crash leaves no mark that counts.
#include "io.h"

#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace perlane {

class EditingMarks {
public:
    EditingMarks() = default;
    EditingMarks(const EditingMarks &) = delete;
    EditingMarks &operator=(const EditingMarks &) = delete;
    ~EditingMarks();

    // Marks exactly these files as having unsaved edits here.
    void keep(const std::vector<reader::FileIdentity> &editing);
    // Whether some running process holds unsaved edits of the file.
    static bool held(const reader::FileIdentity &id);
    static QString directory();

private:
    void drop(std::map<std::pair<std::uint64_t, std::uint64_t>, int>::iterator it);
    std::map<std::pair<std::uint64_t, std::uint64_t>, int> held_; // (device, inode) -> descriptor
};

} // namespace perlane
