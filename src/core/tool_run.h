#pragma once
// One run of an external tool, without blocking the event loop: the outcome arrives as a
// signal. Output is kept only in its last 64 KiB, whatever the tool prints.
#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

#include <optional>

namespace perlane {

struct ToolResult {
    std::optional<QString> start_error; // the tool could not be started
    int exit_code = 0;
    bool crashed = false;
    int signal = 0; // the signal that ended the tool, when one did (0 when unknown)
    QByteArray output; // standard output and error together, the last output_limit bytes

    static constexpr qsizetype output_limit = 64 * 1024;
    // The lines that say what went wrong or what the tool warns about, else its last lines.
    QString message() const;
};

class ToolRun : public QObject {
    Q_OBJECT
public:
    explicit ToolRun(QObject *parent = nullptr);
    ~ToolRun() override;

    void start(const QString &program, const QStringList &arguments);
    // Runs `program` through perlane-save-run, which records the outcome beside `journal`
    // even if this program ends first; the tool writes the file locked by `lock_fd`.
    // Falls back to running it directly when the runner is not installed.
    void start_save(const QString &journal, int lock_fd, const QString &program, const QStringList &arguments);
    // Where perlane-save-run is (empty when it cannot be found).
    static QString runner();
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Waits for the running tool to end (used only when the program is going away).
    void wait();
    // The outcome of the last run, once it has ended.
    bool ended() const { return reported_; }
    const ToolResult &result() const { return result_; }

Q_SIGNALS:
    void finished(const perlane::ToolResult &result);

private:
    void take_output();
    void done(std::optional<QString> start_error);
    QProcess process_;
    ToolResult result_;
    bool reported_ = false;
    bool through_runner_ = false;
};

} // namespace perlane
