#include "checking/page_fetch.h"
#include "cli/cli.h"

namespace quorvel::cli {

namespace {

int runFetch(const QStringList& args);

}  // namespace

extern const Command kFetchCommand = {
    "fetch",
    "[--resolve HOST:PORT:ADDRESS]... [--cacert FILE] URL",
    "download a partner page as a check does and print its text",
    "Downloads URL exactly as a check does: \"http://\" in front when it does not\n"
    "begin with \"http\", up to 14 redirects, and on failure one more try at the\n"
    "variant address with \"www.\". The first line on standard error is always\n"
    "\"first address: \" and the address tried first. On success the page text\n"
    "(decoded, every line ended by CR LF) goes to standard output in UTF-8 and the\n"
    "exit status is 0; on failure one more line on standard error says why the\n"
    "last attempt failed, and the exit status is 1.\n"
    "\n"
    "  --resolve HOST:PORT:ADDRESS   connect to ADDRESS for HOST and PORT instead of\n"
    "                                asking the resolver (as curl's --resolve)\n"
    "  --cacert FILE                 trust the CA certificates in FILE instead of the\n"
    "                                system's\n",
    runFetch,
};

namespace {

int runFetch(const QStringList& args) {
    QCommandLineParser parser;
    if (!parseCommandLine(kFetchCommand, args, downloadOptions(), parser)) {
        return kExitUsage;
    }
    const std::optional<FetchSettings> settings = downloadSettings(kFetchCommand, parser);
    if (!settings) {
        return kExitUsage;
    }
    const QStringList urls = parser.positionalArguments();
    if (urls.size() != 1) {
        return usageError(kFetchCommand, QStringLiteral("give exactly one URL"));
    }
    const FetchResult result = FetchPage(urls.first(), *settings);
    writeErr(u"first address: " + result.firstAddress);
    if (!result.success) {
        writeErr(u"failed: " + result.error);
        return kExitNegative;
    }
    writeOut(result.pageText.toUtf8());
    return kExitOk;
}

}  // namespace

}  // namespace quorvel::cli
