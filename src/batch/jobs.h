#pragma once
// The changing commands over a library, season by season: each file's plan is printed
// (what changes, what is skipped and why, what is already as wanted), and with `apply`
// every changed file is saved as the window saves it, one file at a time.
#include "library.h"
#include "progress.h"
#include "reading.h"
#include "session.h"

#include <QString>
#include <QTextStream>

#include <functional>
#include <map>
#include <memory>

namespace perlane::batch {

enum class Command { DefaultLanguage, Flags, MarkOpenings, UndoLastSave };

struct Options {
    Command command = Command::DefaultLanguage;
    QString audio, subtitles;     // default-language
    bool include_doubtful = false; // mark-openings
    bool apply = false;
    int jobs = 1;
};

class Runner {
public:
    Runner(const Options &options, Progress &progress, QTextStream &out);
    // Goes through the library; the exit status (0 all went well, 1 some files failed,
    // 130/143 when interrupted).
    int run(Library &library);
    // Ctrl+C or SIGTERM: the running save finishes (or is put back), nothing new starts.
    void interrupt(int signal);

private:
    struct Outcome {
        std::size_t changed = 0, unchanged = 0, skipped = 0;
        std::vector<Problem> failed;
    };
    void season(const Season &season);
    // Why the file must be left alone, when it must.
    static std::optional<QString> hands_off(const Document &doc);
    // Makes the command's edits in the documents of `eligible`; reasons for files it leaves.
    std::map<const Document *, QString> plan(const season::Documents &eligible);
    std::map<const Document *, QString> plan_openings(const std::vector<std::shared_ptr<Document>> &all,
                                                      const season::Documents &eligible);
    void save(const std::shared_ptr<Document> &doc);
    void undo_save(Document &doc);
    void print_summary(std::size_t seasons);
    // The report's stream, with the progress bar taken off the screen first.
    QTextStream &out();

    Options options_;
    Progress &progress_;
    QTextStream &out_;
    Session session_;
    Outcome outcome_;
    int interrupted_ = 0;
    std::function<void()> on_interrupt_; // stops what runs now
};

} // namespace perlane::batch
