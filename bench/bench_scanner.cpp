// Throughput of the link scanner, in bytes of downloaded HTML per second:
// the scan of a page text (lower-casing included), and the whole path from
// body bytes to verdict. Pages: a generated link farm and real HTML pages
// (the Python documentation that scripts/install-deps installs).
#include <QDirIterator>
#include <QFile>

#include <benchmark/benchmark.h>

#include <vector>

#include "checking/link_scanner.h"
#include "checking/page_text.h"

namespace {

using namespace quorvel;
using namespace Qt::StringLiterals;

struct Corpus {
    std::vector<QByteArray> bodies;
    std::vector<QString> texts;
    qint64 bytes = 0;
};

void addBody(Corpus& c, QByteArray body) {
    c.bytes += body.size();
    c.texts.push_back(pageTextFromBody(body));
    c.bodies.push_back(std::move(body));
}

// About 500 KB of links to distinct sites, the kind of page that sells links.
const Corpus& linkFarm() {
    static const Corpus corpus = [] {
        Corpus c;
        QByteArray body = "<html><head><title>Catalogue</title></head><body>\n";
        for (int i = 0; body.size() < 500 * 1024; ++i) {
            body += "<div class=\"item\"><a href=\"http://site" + QByteArray::number(i) +
                    ".example.com/page.html\" target=\"_blank\">Site number " +
                    QByteArray::number(i) + "</a> - a short description</div>\n";
        }
        body += "<a href=\"http://www.mysite.example.ru/\">My site</a></body></html>\n";
        addBody(c, std::move(body));
        return c;
    }();
    return corpus;
}

const Corpus& realPages() {
    static const Corpus corpus = [] {
        Corpus c;
        QDirIterator it(u"/usr/share/doc/python3.11/html"_s, {u"*.html"_s}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly)) {
                addBody(c, file.readAll());
            }
        }
        return c;
    }();
    return corpus;
}

void scanOnly(benchmark::State& state, const Corpus& c) {
    if (c.texts.empty()) {
        state.SkipWithError("no pages (install python3.11-doc)");
        return;
    }
    for (auto _ : state) {
        for (const QString& text : c.texts) {
            benchmark::DoNotOptimize(ScanBacklink(text, u"http://www.mysite.example.ru/",
                                                  u"http://partner.example.com/links/"));
        }
    }
    state.SetBytesProcessed(state.iterations() * c.bytes);
}

// The verdict with the facts beside it (anchor, near miss, canonical,
// external links), in the same walk.
void scanWithFactsOnly(benchmark::State& state, const Corpus& c) {
    if (c.texts.empty()) {
        state.SkipWithError("no pages (install python3.11-doc)");
        return;
    }
    for (auto _ : state) {
        for (const QString& text : c.texts) {
            benchmark::DoNotOptimize(scanWithFacts(text, u"http://www.mysite.example.ru/",
                                                   u"http://partner.example.com/links/",
                                                   u"http://partner.example.com/links/"));
        }
    }
    state.SetBytesProcessed(state.iterations() * c.bytes);
}

void bodyToVerdict(benchmark::State& state, const Corpus& c) {
    if (c.bodies.empty()) {
        state.SkipWithError("no pages (install python3.11-doc)");
        return;
    }
    for (auto _ : state) {
        for (const QByteArray& body : c.bodies) {
            benchmark::DoNotOptimize(ScanBacklink(pageTextFromBody(body),
                                                  u"http://www.mysite.example.ru/",
                                                  u"http://partner.example.com/links/"));
        }
    }
    state.SetBytesProcessed(state.iterations() * c.bytes);
}

void BM_Scan_LinkFarm(benchmark::State& s) {
    scanOnly(s, linkFarm());
}
void BM_Scan_RealPages(benchmark::State& s) {
    scanOnly(s, realPages());
}
void BM_ScanWithFacts_LinkFarm(benchmark::State& s) {
    scanWithFactsOnly(s, linkFarm());
}
void BM_ScanWithFacts_RealPages(benchmark::State& s) {
    scanWithFactsOnly(s, realPages());
}
void BM_BodyToVerdict_LinkFarm(benchmark::State& s) {
    bodyToVerdict(s, linkFarm());
}
void BM_BodyToVerdict_RealPages(benchmark::State& s) {
    bodyToVerdict(s, realPages());
}

void BM_CollectOutgoingLinks_LinkFarm(benchmark::State& state) {
    const Corpus& c = linkFarm();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CollectOutgoingLinks(c.texts.front(), u"http://partner.example.com/"));
    }
    state.SetBytesProcessed(state.iterations() * c.bytes);
}

BENCHMARK(BM_Scan_LinkFarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_RealPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWithFacts_LinkFarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWithFacts_RealPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyToVerdict_LinkFarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyToVerdict_RealPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectOutgoingLinks_LinkFarm)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
