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
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Waits for the running tool to end (used only when the program is going away).
    void wait();

Q_SIGNALS:
    void finished(const perlane::ToolResult &result);

private:
    void take_output();
    void done(std::optional<QString> start_error);
    QProcess process_;
    ToolResult result_;
    bool reported_ = false;
};

} // namespace perlane
