#include <QCoreApplication>

#include "checking/http_client.h"
#include "checking/page_memory.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
    quorvel::keepPagesOutOfTheHeap();
    quorvel::initNetwork();
    // QCoreApplication gives the arguments as text on every platform.
    QCoreApplication app(argc, argv);
    return quorvel::cli::runCli(QCoreApplication::arguments().mid(1));
}
