#include "tool_run.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace perlane {

QString ToolResult::message() const {
    const QStringList all = QString::fromUtf8(output).split(QLatin1Char('\n'));
    QStringList lines;
    for (const QString &l : all)
        if (l.startsWith(QStringLiteral("Error")) || l.startsWith(QStringLiteral("Warning")))
            lines << l.trimmed();
    if (lines.isEmpty())
        for (const QString &l : all)
            if (!l.trimmed().isEmpty())
                lines << l.trimmed();
    // A status line, not a log: the last few lines, at most a few hundred characters.
    if (lines.size() > 4)
        lines = lines.mid(lines.size() - 4);
    QString text = lines.join(QLatin1Char(' '));
    if (text.size() > 400)
        text = QStringLiteral("\u2026") + text.right(399);
    return text;
}

ToolRun::ToolRun(QObject *parent) : QObject(parent) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardInputFile(QProcess::nullDevice());
    connect(&process_, &QProcess::readyReadStandardOutput, this, &ToolRun::take_output);
    connect(&process_, &QProcess::finished, this, [this] { done(std::nullopt); });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(process_.errorString());
    });
}

ToolRun::~ToolRun() {
    blockSignals(true); // nobody is left to hear the outcome
    wait();
}

QString ToolRun::runner() {
    // Beside the program when installed; the build's own otherwise.
    const QString name = QStringLiteral("perlane-save-run");
    for (const QString &dir : {QCoreApplication::applicationDirPath(), QStringLiteral(PERLANE_LIBEXEC_DIR)}) {
        const QFileInfo f(dir + QLatin1Char('/') + name);
        if (f.isExecutable())
            return f.filePath();
    }
    const QFileInfo built(QStringLiteral(PERLANE_BUILT_RUNNER));
    return built.isExecutable() ? built.filePath() : QString();
}

void ToolRun::start_save(const QString &journal, int lock_fd, const QString &program, const QStringList &arguments) {
    const QString helper = runner();
    if (helper.isEmpty()) {
        start(program, arguments);
        return;
    }
    start(helper, QStringList{journal, QString::number(lock_fd), program} + arguments);
    through_runner_ = true;
}

void ToolRun::start(const QString &program, const QStringList &arguments) {
    result_ = ToolResult{};
    reported_ = false;
    through_runner_ = false;
    process_.setProgram(program); // looked up on PATH; no shell
    process_.setArguments(arguments);
    process_.start();
}

void ToolRun::wait() {
    // Stopping the tool half way could leave the file half written: let it finish.
    if (process_.state() != QProcess::NotRunning)
        process_.waitForFinished(-1);
}

void ToolRun::take_output() {
    result_.output += process_.readAllStandardOutput();
    if (result_.output.size() > ToolResult::output_limit)
        result_.output = result_.output.right(ToolResult::output_limit);
}

void ToolRun::done(std::optional<QString> start_error) {
    if (reported_)
        return;
    reported_ = true;
    take_output();
    result_.start_error = std::move(start_error);
    if (!result_.start_error) {
        result_.exit_code = process_.exitCode();
        result_.crashed = process_.exitStatus() != QProcess::NormalExit;
        if (through_runner_ && !result_.crashed && result_.exit_code == 127) {
            const QByteArray mark = "perlane-save-run: ";
            if (const qsizetype at = result_.output.lastIndexOf(mark); at >= 0) {
                result_.start_error = QString::fromUtf8(result_.output.mid(at + mark.size())).trimmed();
                result_.output.truncate(at);
            }
        } else if (through_runner_ && !result_.crashed && result_.exit_code > 128) {
            result_.crashed = true;
            result_.signal = result_.exit_code - 128;
        }
    }
    Q_EMIT finished(result_);
}

} // namespace perlane
