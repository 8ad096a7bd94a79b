#include "file_listing.h"

#include "backend.h"

namespace perlane {

FileListing::FileListing(Backend &backend) : QObject(&backend), b_(backend) {
    connect(&b_.changes(), &Changes::active_index_changed, this, &FileListing::active_index_changed);
    connect(&b_.changes(), &Changes::load_errors_changed, this, &FileListing::load_errors_changed);
}

int FileListing::active_index() const { return b_.active_row(); }
QStringList FileListing::load_errors() const { return b_.load_errors(); }
QStringList FileListing::load_error_details() const { return b_.load_error_details(); }
void FileListing::dismiss_load_errors() { b_.dismiss_load_errors(); }

void FileListing::add_urls(const QList<QUrl> &urls) {
    std::vector<Choice> choices;
    for (const QUrl &url : urls)
        choices.push_back(path_from_uri(url.toEncoded()));
    b_.load_choices(choices);
}

} // namespace perlane
