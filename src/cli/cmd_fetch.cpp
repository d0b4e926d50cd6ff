#include "checking/page_fetch.h"
#include "cli/cli.h"

namespace quorvel::cli {

namespace {

using namespace Qt::StringLiterals;

int runFetch(const QStringList& args);

}  // namespace

extern const Command kFetchCommand = {
    "fetch",
    "[--browser] [--user-agent TEXT] [--resolve HOST:PORT:ADDRESS]... [--cacert FILE] URL",
    "download a partner page as a check does and print its text",
    "Downloads URL exactly as a check does: \"http://\" in front when it does not\n"
    "begin with \"http\", up to 14 redirects, and on failure one more try at the\n"
    "variant address with \"www.\" (over https again when URL begins with\n"
    "\"https://\"). The first line on standard error is always \"first address: \"\n"
    "and the address tried first. Each failed attempt adds a line that says why,\n"
    "ending in its reason code in brackets (dns, connect, timeout, tls, http NNN,\n"
    "too-large, redirects, scheme, aborted, blocked challenge, blocked http 429);\n"
    "the second attempt's address comes\n"
    "on a line \"second address: \" before it. On success the page text (decoded,\n"
    "every line ended by CR LF) goes to standard output in UTF-8 and the exit\n"
    "status is 0; when both attempts failed the exit status is 1.\n"
    "\n"
    "  --browser                     send a desktop browser's request headers and\n"
    "                                accept compressed pages (see check --help)\n"
    "  --user-agent TEXT             send TEXT as the User-Agent\n"
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
    for (qsizetype i = 0; i < result.attempts.size(); ++i) {
        const FetchAttempt& attempt = result.attempts.at(i);
        if (i > 0) {
            writeErr(u"second address: " + attempt.address);
        }
        if (attempt.reason.kind != FailureReason::Kind::None) {
            writeErr((i == 0 ? u"first" : u"second") % u" attempt failed: "_s % attempt.error %
                     u" [" % attempt.reason.code() % u']');
        }
    }
    if (!result.success) {
        return kExitNegative;
    }
    writeOut(result.pageText.toUtf8());
    return kExitOk;
}

}  // namespace

}  // namespace quorvel::cli
