#pragma once
#include <QStringList>

#include <memory>
#include <optional>

namespace perlane {

// Asks the user for Matroska files. No value: no chooser could be shown at all;
// an empty list: the user cancelled.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    virtual std::optional<QStringList> pick_files() = 0;
};

// The desktop's chooser: the XDG portal, with zenity as fallback.
std::unique_ptr<FilePicker> make_desktop_picker();

} // namespace perlane
