#include "checking/http_client.h"
#include "checking/link_scanner.h"
#include "checking/page_text.h"
#include "cli/cli.h"

namespace quorvel::cli {

namespace {

int runScan(const QStringList& args);
int runLinks(const QStringList& args);

}  // namespace

extern const Command kScanCommand = {
    "scan",
    "--link LINK --partner URL FILE...",
    "look for your link on saved pages, as a check would",
    "Reads each FILE as the body of a downloaded partner page, decodes it as a\n"
    "check does, and prints one line per FILE: the verdict and the number of\n"
    "outgoing links, as in YEP@12 (found, indexable), HIDDEN@3 (found, but\n"
    "nofollow or inside noindex) or NIL@0 (not found).\n"
    "\n"
    "  --link LINK     your link, as in the record (field 6)\n"
    "  --partner URL   the partner page's address, as in the record (field U)\n"
    "\n"
    "A FILE that cannot be read is named on standard error, the others are still\n"
    "scanned, and the exit status is 2.\n",
    runScan,
};

extern const Command kLinksCommand = {
    "links",
    "--partner URL FILE",
    "list the outgoing links of a saved page",
    "Reads FILE as the body of a downloaded partner page and prints the outgoing\n"
    "links that a check counts, sorted, each followed by CR LF, in UTF-8.\n"
    "\n"
    "  --partner URL   the partner page's address; links into its own site are\n"
    "                  not counted\n",
    runLinks,
};

namespace {

int runScan(const QStringList& args) {
    QCommandLineParser parser;
    const QString link = QStringLiteral("link");
    const QString partner = QStringLiteral("partner");
    if (!parseCommandLine(kScanCommand, args, {valuedOption(link), valuedOption(partner)},
                          parser)) {
        return kExitUsage;
    }
    if (!parser.isSet(link) || !parser.isSet(partner)) {
        return usageError(kScanCommand, QStringLiteral("--link and --partner are required"));
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        return usageError(kScanCommand, QStringLiteral("no FILE given"));
    }
    const QString yourLink = firstValue(parser, link);
    const QString partnerUrl = firstValue(parser, partner);
    int status = kExitOk;
    for (const QString& file : files) {
        QByteArray body;
        if (!readInput(file, kMaxPageBytes, &body)) {
            reportError(kScanCommand, u"cannot read '" % file % u'\'');
            status = kExitUsage;
            continue;
        }
        writeOut((ScanBacklink(pageTextFromBody(body), yourLink, partnerUrl) + u'\n').toUtf8());
    }
    return status;
}

int runLinks(const QStringList& args) {
    QCommandLineParser parser;
    const QString partner = QStringLiteral("partner");
    if (!parseCommandLine(kLinksCommand, args, {valuedOption(partner)}, parser)) {
        return kExitUsage;
    }
    if (!parser.isSet(partner)) {
        return usageError(kLinksCommand, QStringLiteral("--partner is required"));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(kLinksCommand, QStringLiteral("give exactly one FILE"));
    }
    const QString& file = files.first();
    QByteArray body;
    if (!readInput(file, kMaxPageBytes, &body)) {
        reportError(kLinksCommand, u"cannot read '" % file % u'\'');
        return kExitUsage;
    }
    writeOut(CollectOutgoingLinks(pageTextFromBody(body), firstValue(parser, partner)).toUtf8());
    return kExitOk;
}

}  // namespace

}  // namespace quorvel::cli
