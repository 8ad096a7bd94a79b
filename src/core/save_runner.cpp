// perlane-save-run JOURNAL LOCK_FD PROGRAM ARGUMENT...
//
// Runs the tool of one save and records how it ended beside the save's journal, whatever
// becomes of perlane meanwhile: a save whose tool finished must never be taken back at the
// next start, and a failed one must only be put back while the file is still exactly as the
// tool left it. So this small process outlives perlane's end (SIGTERM at logout, a crash,
// Qt.quit() during the save), relays the tool's output (the tool never writes into a pipe
// nobody reads, which would kill it half way), and writes, once the tool has ended:
//   JOURNAL.done    the file's identity after a finished save (exit status 0 or 1)
//   JOURNAL.failed  the file's identity as the failed or killed tool left it
// It holds the file's lock (LOCK_FD, inherited) until then. Its exit status is the tool's,
// 128 + N when the tool was ended by signal N, and 127 when the tool could not be started
// (the reason on its output, after "perlane-save-run: ").
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The same record perlane's journal writes: the identity as decimal strings.
std::string identity_json(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {};
    char text[256];
    std::snprintf(text, sizeof text, R"({"device":"%llu","inode":"%llu","mtime_ns":"%lld","size":"%llu"})",
                  static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
                  static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec,
                  static_cast<unsigned long long>(st.st_size));
    return text;
}

// Written whole under a temporary name, flushed, then renamed: a record is never half there.
bool record(const std::string &path, const std::string &text) {
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = write_all(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(part.c_str(), path.c_str()) != 0) {
        ::unlink(part.c_str());
        return false;
    }
    const std::string dir = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    const int d = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        ::fsync(d);
        ::close(d);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: perlane-save-run JOURNAL LOCK_FD PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const std::string journal = argv[1];
    const int lock_fd = std::atoi(argv[2]);
    // The end of the session or of perlane must not end this process before the outcome is
    // recorded; the tool keeps the usual dispositions.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT})
        std::signal(sig, SIG_IGN);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        std::printf("perlane-save-run: %s\n", std::strerror(errno));
        return 127;
    }
    int started[2]; // closed by exec; carries errno when exec fails
    if (::pipe2(started, O_CLOEXEC) != 0) {
        std::printf("perlane-save-run: %s\n", std::strerror(errno));
        return 127;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        std::printf("perlane-save-run: %s\n", std::strerror(errno));
        return 127;
    }
    if (child == 0) {
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT})
            std::signal(sig, SIG_DFL);
        ::setpgid(0, 0); // out of the terminal's group: Ctrl+C there does not cut the save short
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execvp(argv[3], argv + 3);
        const int why = errno;
        [[maybe_unused]] auto n = ::write(started[1], &why, sizeof why);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(started[1]);
    int exec_errno = 0;
    ssize_t got;
    do
        got = ::read(started[0], &exec_errno, sizeof exec_errno);
    while (got < 0 && errno == EINTR);
    ::close(started[0]);

    // Relay the output; once perlane is gone, writes fail and the output is dropped.
    char buffer[16384];
    bool relaying = true;
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (relaying)
            relaying = write_all(1, buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        std::printf("perlane-save-run: %s\n", std::strerror(exec_errno));
        return 127;
    }
    const bool exited = WIFEXITED(status);
    const int code = exited ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // mkvpropedit: 0 done, 1 done with warnings, 2 failed.
    const bool finished = exited && (code == 0 || code == 1);
    const std::string identity = identity_json(lock_fd);
    if (!identity.empty() && !record(journal + (finished ? ".done" : ".failed"), identity + "\n") && finished)
        std::printf("perlane-save-run: the end of the save could not be recorded: %s\n", std::strerror(errno));
    std::fflush(stdout);
    return code;
}
