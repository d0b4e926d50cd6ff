// The program's main block: the application, its three windows in order,
// and the event loop until the main window closes.
#include <QApplication>
#include <QDir>

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#else
#include "app/windows_session.h"
#endif

#include "checking/http_client.h"
#include "checking/page_memory.h"
#include "publisher/form2.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/qt_russian.h"

namespace {

#ifndef Q_OS_WIN
int signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGHUP and SIGINT take the window's normal closing path, so the
// data file and the width file are written before the process ends.
void closeOnEndSignals(quorvel::TForm1* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        window->closeNow();
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        ::sigaction(sig, &action, nullptr);
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    quorvel::keepPagesOutOfTheHeap();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    quorvel::installQtRussian(app);
    quorvel::initNetwork();

    quorvel::TForm1 form1(QDir::currentPath());
    form1.setForms(new quorvel::TForm2(&form1, quorvel::PublisherSites{}),
                   new quorvel::TForm3(&form1));
#ifndef Q_OS_WIN
    closeOnEndSignals(&form1);
#else
    quorvel::closeOnWindowsSessionEnd(&form1);
#endif
    form1.showAtStart();
    // Closing the window writes the files, ends every thread and leaves the
    // loop; the window is destroyed before the application.
    return QApplication::exec();
}
