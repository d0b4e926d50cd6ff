// The scanner on any bytes: the body goes through the page-text decoder, and
// the scan must never crash, must count exactly the entries that list mode
// gives, and must agree with the plain reference reading of its rules; the
// facts read beside the verdict never change it.
#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>

#include "checking/html_text.h"
#include "checking/link_scanner.h"
#include "checking/page_text.h"
#include "support/reference_scanner.h"

using namespace quorvel;

namespace {

// The input is "your link \n partner URL \n body"; missing parts are empty.
QString takeLine(QByteArrayView& data) {
    const qsizetype nl = data.indexOf('\n');
    const QByteArrayView line = nl < 0 ? data : data.first(nl);
    data = nl < 0 ? QByteArrayView() : data.sliced(nl + 1);
    return QString::fromUtf8(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const QString yourLink = takeLine(data);
    const QString partner = takeLine(data);
    const QString page = pageTextFromBody(data);

    const LinkScanResult verdict = scanLinks(page, yourLink, partner, false);
    const LinkScanResult list = scanLinks(page, {}, partner, true);
    if (verdict.count != list.links.size()) {
        std::abort();
    }
    const LinkScanResult plain = test::referenceScanLinks(page, yourLink, partner, false);
    if (plain.verdict != verdict.verdict || plain.count != verdict.count) {
        std::abort();
    }
    if (test::referenceScanLinks(page, {}, partner, true).links != list.links) {
        std::abort();
    }
    // The facts beside the verdict never change it, and keep to their bounds.
    const LinkScanResult withFacts = scanWithFacts(page, yourLink, partner, partner);
    if (withFacts.verdict != verdict.verdict || withFacts.count != verdict.count ||
        withFacts.pageSignals != verdict.pageSignals) {
        std::abort();
    }
    const PageFacts& facts = withFacts.facts;
    if (facts.anchor.size() > 2 * kAnchorTextLimit || facts.anchor != facts.anchor.trimmed() ||
        (verdict.verdict == BacklinkVerdict::Nil && !facts.anchor.isEmpty()) ||
        (verdict.verdict != BacklinkVerdict::Nil && !facts.nearLink.isEmpty()) ||
        facts.external < 0) {
        std::abort();
    }
    const QString text = CollectOutgoingLinks(page, partner);
    if (!text.isEmpty() && !text.endsWith(u"\r\n")) {
        std::abort();
    }
    return 0;
}
