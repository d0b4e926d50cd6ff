#include "checking/page_renderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "checking/link_scanner.h"
#include "checking/page_text.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

namespace quorvel {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

bool rendererAvailable(const RenderSettings& settings) {
#ifdef Q_OS_UNIX
    const QFileInfo browser(settings.browser);
    return browser.isFile() && browser.isExecutable();
#else
    Q_UNUSED(settings);
    return false;
#endif
}

QString hostResolverRules(const QStringList& resolve) {
    QStringList rules;
    for (QString entry : resolve) {
        if (entry.startsWith(u'+')) {
            entry.remove(0, 1);
        }
        // HOST:PORT:ADDRESS[,ADDRESS]...; an IPv6 address holds colons.
        const qsizetype first = entry.indexOf(u':');
        const qsizetype second = first < 0 ? -1 : entry.indexOf(u':', first + 1);
        if (second < 0) {
            continue;
        }
        QString address = entry.sliced(second + 1).section(u',', 0, 0).trimmed();
        if (address.contains(u':') && !address.startsWith(u'[')) {
            address = u'[' + address + u']';
        }
        if (address.isEmpty()) {
            continue;
        }
        rules += u"MAP "_s + entry.first(second) + u' ' + address;
    }
    return rules.join(u", ");
}

QString acceptLangOf(const QByteArray& acceptLanguage) {
    QStringList languages;
    for (const QByteArray& part : acceptLanguage.split(',')) {
        const QString language = QString::fromLatin1(part.split(';').first()).trimmed();
        if (!language.isEmpty()) {
            languages += language;
        }
    }
    return languages.join(u',');
}

PageRenderer::PageRenderer(RenderSettings settings, int workers)
    : settings_(std::move(settings)), workers_(std::max(1, workers)) {}

RenderResult PageRenderer::render(const QString& url) {
    {
        std::unique_lock lock(mutex_);
        while (running_ >= workers_) {
            if (settings_.abort && settings_.abort->isSet()) {
                return {false, {}, u"aborted"_s};
            }
            freed_.wait_for(lock, std::chrono::milliseconds(100));
        }
        ++running_;
    }
    RenderResult result = renderOne(url);
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    freed_.notify_one();
    return result;
}

PageSignals renderedSignals(PageRenderer& renderer, const QString& pageAddress, const QString& link,
                            const QString& partnerUrl, QString* failure) {
    const RenderResult rendered = renderer.render(pageAddress);
    if (!rendered.success) {
        *failure = rendered.error;
        return 0;
    }
    switch (scanLinks(rendered.pageText, link, partnerUrl, false).verdict) {
        case BacklinkVerdict::Yep:
            return RenderedFound;
        case BacklinkVerdict::Hidden:
            return RenderedHidden;
        case BacklinkVerdict::Nil:
            break;
    }
    return 0;
}

#ifdef Q_OS_UNIX

namespace {

// A child's end of a pipe, or the parent's: closed once.
struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// The environment of the browser: ours, with its home, temporary and cache
// directories inside the page's own temporary directory, so that nothing it
// writes outlives the page.
std::vector<std::string> browserEnvironment(const QString& dir) {
    static constexpr const char* kMoved[] = {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                             "XDG_DATA_HOME"};
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        bool moved = false;
        for (const char* name : kMoved) {
            moved = moved || entry.rfind(std::string(name) + '=', 0) == 0;
        }
        if (!moved) {
            env.push_back(entry);
        }
    }
    const std::string root = QFile::encodeName(dir).toStdString();
    env.push_back("HOME=" + root + "/home");
    env.push_back("TMPDIR=" + root + "/tmp");
    env.push_back("XDG_CONFIG_HOME=" + root + "/home/.config");
    env.push_back("XDG_CACHE_HOME=" + root + "/home/.cache");
    env.push_back("XDG_DATA_HOME=" + root + "/home/.local/share");
    return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) {
        pointers.push_back(t.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Whether a process of the group still runs. Where the system lists its
// processes, one that has ended and waits to be collected by whoever adopted
// it does not count: it holds no file any more.
bool groupRuns(pid_t group) {
    const QDir proc(u"/proc"_s);
    if (!proc.exists(u"self/stat"_s)) {
        return ::kill(-group, 0) == 0 || errno != ESRCH;
    }
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (entry.isEmpty() || !entry[0].isDigit()) {
            continue;
        }
        QFile stat(proc.filePath(entry + u"/stat"_s));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid pgrp ...": the name may hold anything but
        // ends at the last ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z" &&
            fields[0] != "X") {
            return true;
        }
    }
    return false;
}

// Waits until no process of the group runs (at most a few seconds: they are
// killed already and only have to end).
void waitForGroupEnd(pid_t group) {
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (groupRuns(group) && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

QString seconds(std::chrono::milliseconds ms) {
    return QString::number(double(ms.count()) / 1000.0, 'g', 4);
}

}  // namespace

RenderResult PageRenderer::renderOne(const QString& url) const {
    RenderResult result;
    if (!url.startsWith(u"http://", Qt::CaseInsensitive) &&
        !url.startsWith(u"https://", Qt::CaseInsensitive)) {
        result.error = u"not a web address: "_s + url;
        return result;
    }
    if (!rendererAvailable(settings_)) {
        result.error = u"no browser at "_s + settings_.browser;
        return result;
    }
    const QString base = settings_.tempDir.isEmpty() ? QDir::tempPath() : settings_.tempDir;
    QTemporaryDir dir(base + u"/quorvel-render-XXXXXX");
    if (!dir.isValid() || !QDir(dir.path()).mkpath(u"profile"_s) ||
        !QDir(dir.path()).mkpath(u"tmp"_s) || !QDir(dir.path()).mkpath(u"home"_s)) {
        result.error = u"cannot make a temporary directory in "_s + base;
        return result;
    }

    QStringList args = {settings_.browser, u"--headless"_s};
    if (::geteuid() == 0) {
        args += u"--no-sandbox"_s;  // the browser's sandbox refuses to run as root
    }
    args += {u"--disable-gpu"_s,
             u"--no-proxy-server"_s,
             u"--disable-dev-shm-usage"_s,
             u"--user-data-dir="_s + dir.path() + u"/profile"_s,
             u"--virtual-time-budget="_s + QString::number(settings_.virtualTimeBudgetMs),
             u"--timeout="_s + QString::number(settings_.pageTimeoutMs)};
    if (!settings_.userAgent.isEmpty()) {
        args += u"--user-agent="_s + QString::fromLatin1(settings_.userAgent);
    }
    if (const QString lang = acceptLangOf(settings_.acceptLanguage); !lang.isEmpty()) {
        args += u"--accept-lang="_s + lang;
    }
    if (const QString rules = hostResolverRules(settings_.resolve); !rules.isEmpty()) {
        args += u"--host-resolver-rules="_s + rules;
    }
    args += {u"--dump-dom"_s, url};

    std::vector<std::string> argTexts;
    for (const QString& a : args) {
        argTexts.push_back(a.toLocal8Bit().toStdString());
    }
    std::vector<std::string> envTexts = browserEnvironment(dir.path());
    std::vector<char*> argv = pointersTo(argTexts);
    std::vector<char*> envp = pointersTo(envTexts);

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        result.error = u"cannot make a pipe"_s;
        return result;
    }
    Fd outRead{outPipe[0]};
    Fd outWrite{outPipe[1]};
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        result.error = u"cannot make a pipe"_s;
        return result;
    }
    Fd errRead{errPipe[0]};
    Fd errWrite{errPipe[1]};

    // Its own process group, so that the browser and all its children are
    // killed as one; no signal of ours blocked or ignored in it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigdefault(&attr, &defaults);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    outWrite.reset();
    errWrite.reset();
    if (spawned != 0) {
        result.error = u"cannot start the browser: "_s + QString::fromLocal8Bit(strerror(spawned));
        return result;
    }

    QByteArray output;
    QByteArray errors;  // the end of what it says on standard error
    QString stopped;    // why it was stopped before it ended
    const auto deadline = Clock::now() + settings_.killAfter;
    std::optional<Clock::time_point> exitedAt;
    char buffer[65536];
    while (outRead.fd >= 0 || errRead.fd >= 0) {
        const auto now = Clock::now();
        if (now >= deadline) {
            stopped = u"timed out after "_s + seconds(settings_.killAfter) + u" s"_s;
            break;
        }
        if (settings_.abort && settings_.abort->isSet()) {
            stopped = u"aborted"_s;
            break;
        }
        // A child that keeps the pipes open after the browser has ended
        // gets a moment to let go, no more.
        siginfo_t info{};
        if (!exitedAt && ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            exitedAt = now;
        }
        if (exitedAt && now - *exitedAt > std::chrono::seconds(2)) {
            break;
        }
        pollfd fds[2] = {{outRead.fd, POLLIN, 0}, {errRead.fd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        ::poll(fds, 2, int(std::min<qint64>(left.count() + 1, 100)));
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (got <= 0) {
                (i == 0 ? outRead : errRead).reset();
                continue;
            }
            if (i == 0) {
                output.append(buffer, got);
            } else {
                errors.append(buffer, got);
                if (errors.size() > 8192) {
                    errors.remove(0, errors.size() - 4096);
                }
            }
        }
        if (output.size() > settings_.maxOutputBytes) {
            stopped =
                u"the page is over "_s + QString::number(settings_.maxOutputBytes) + u" bytes"_s;
            break;
        }
    }
    // Whatever is left of the group goes, the browser first collected.
    ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    waitForGroupEnd(pid);
    outRead.reset();
    errRead.reset();
    if (!dir.remove()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        dir.remove();
    }

    if (!stopped.isEmpty()) {
        result.error = stopped;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
        result.error = u"the browser was killed by signal "_s + QString::number(WTERMSIG(status));
    } else if (output.trimmed().isEmpty()) {
        result.error =
            WIFEXITED(status) && WEXITSTATUS(status) != 0
                ? u"the browser ended with exit code "_s + QString::number(WEXITSTATUS(status))
                : u"the browser printed nothing"_s;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0 &&
               !output.trimmed().endsWith("</html>")) {
        // A page that stops loading at the browser's time limit is still
        // printed whole (with an exit code of its own); anything else that
        // ends in an error is not taken.
        result.error =
            u"the browser ended with exit code "_s + QString::number(WEXITSTATUS(status));
    } else {
        result.success = true;
        result.pageText = pageTextFromBody(output);
        return result;
    }
    // Its own last words say most about why.
    const QList<QByteArray> lines = errors.trimmed().split('\n');
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) {
        result.error += u": "_s + QString::fromLocal8Bit(lines.last().trimmed()).left(300);
    }
    return result;
}

#else

RenderResult PageRenderer::renderOne(const QString& url) const {
    Q_UNUSED(url);
    return {false, {}, u"rendering pages needs a Unix system"_s};
}

#endif

}  // namespace quorvel
