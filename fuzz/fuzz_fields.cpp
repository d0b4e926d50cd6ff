// ExtractField and ExtractAllFields on any line, against the rule read
// literally with 1-based positions.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "records/record_line.h"

namespace {

QString literal(const QString& line, QChar code) {
    const QString open = u"<QV_" + QString(code) + u">";
    const QString close = u"</QV_" + QString(code) + u">";
    const qsizetype o = line.indexOf(open) + 1;
    const qsizetype c = line.indexOf(close) + 1;
    const qsizetype start = o + 6;
    const qsizetype count = c - o - 6;
    if (count <= 0 || start > line.size()) {
        return QString();
    }
    return line.mid(start - 1, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::array<QStringView, 8> all = quorvel::ExtractAllFields(line);
    for (size_t k = 0; k < 8; ++k) {
        const QChar code(quorvel::kFieldCodes[k]);
        if (quorvel::ExtractField(line, code) != literal(line, code) ||
            all[k] != literal(line, code)) {
            std::abort();
        }
    }
    return 0;
}
