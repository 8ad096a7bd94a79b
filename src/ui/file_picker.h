#pragma once
#include "paths.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace perlane {

// Asks the user for Matroska files. No value: no chooser could be shown at all;
// an empty list: the user cancelled. Each choice is a path, or why the chosen name
// cannot be used.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    virtual std::optional<std::vector<Choice>> pick_files() = 0;
};

// The desktop's chooser: the XDG portal, with zenity as fallback.
std::unique_ptr<FilePicker> make_desktop_picker();

} // namespace perlane
