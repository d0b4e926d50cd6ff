#include "support/cli_runner.h"

#include <QDir>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace quorvel::test {

CliProcess::CliProcess(const QStringList& args, const QByteArray& input,
                       const QString& workingDirectory, const char* program) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    std::vector<std::string> strings;
    strings.push_back(program);
    for (const QString& arg : args) {
        strings.push_back(arg.toStdString());
    }
    std::vector<char*> argv;
    for (std::string& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const std::string dir = workingDirectory.isEmpty() ? QDir::currentPath().toStdString()
                                                       : workingDirectory.toStdString();
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << program << " did not start";
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    // Inputs in the tests are small: they fit the pipe.
    if (!input.isEmpty() && ::write(in[1], input.constData(), size_t(input.size())) < 0) {
        ADD_FAILURE() << "cannot write the input";
    }
    ::close(in[1]);
}

CliProcess::~CliProcess() {
    if (!finished_) {
        finish(0);
    }
}

bool CliProcess::readSome(int ms) {
    if (!outOpen_ && !errOpen_) {
        return false;
    }
    pollfd fds[2] = {{outOpen_ ? out_ : -1, POLLIN, 0}, {errOpen_ ? err_ : -1, POLLIN, 0}};
    ::poll(fds, 2, ms);
    char buffer[65536];
    for (int k = 0; k < 2; ++k) {
        if (fds[k].revents == 0) {
            continue;
        }
        const ssize_t n = ::read(k == 0 ? out_ : err_, buffer, sizeof buffer);
        if (n > 0) {
            (k == 0 ? read_.out : read_.err).append(buffer, n);
        } else {
            (k == 0 ? outOpen_ : errOpen_) = false;
        }
    }
    return true;
}

bool CliProcess::waitForErr(const QByteArray& text, int boundMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!read_.err.contains(text)) {
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 until - std::chrono::steady_clock::now())
                                 .count());
        if (pid_ < 0 || left <= 0 || !readSome(left)) {
            return false;
        }
    }
    return true;
}

CliResult CliProcess::finish(int timeoutMs) {
    finished_ = true;
    if (pid_ < 0) {
        return {};
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (outOpen_ || errOpen_) {
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 until - std::chrono::steady_clock::now())
                                 .count());
        if (left <= 0) {
            ::kill(pid_, SIGKILL);
            ADD_FAILURE() << "quorvel-cli did not finish in time";
            break;
        }
        readSome(left);
    }
    ::close(out_);
    ::close(err_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    CliResult result = std::move(read_);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

CliResult runCli(const QStringList& args, const QByteArray& input,
                 const QString& workingDirectory) {
    return CliProcess(args, input, workingDirectory).finish();
}

}  // namespace quorvel::test
