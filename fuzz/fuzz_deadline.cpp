// Any text as a deadline (field D), read under one of several locales: the
// reading never fails hard, a date it finds is valid, and the date written
// back in the record format reads as the same date, so a deadline survives
// the window's next save.
#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "checking/deadline.h"
#include "records/record_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static const QLocale locales[] = {QLocale::c(),      QLocale(u"ru_RU"), QLocale(u"en_US"),
                                      QLocale(u"de_DE"), QLocale(u"ja_JP"), QLocale(u"ar_EG")};
    const QLocale& locale = locales[data[0] % std::size(locales)];
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    const std::optional<QDate> date = quorvel::parseDeadline(text, locale);
    if (!date) {
        return 0;
    }
    if (!date->isValid()) {
        std::abort();
    }
    // Years the record format writes with four digits.
    if (date->year() >= 1 && date->year() <= 9999) {
        const QString written = quorvel::FormatRecordDate(*date, locale);
        if (quorvel::parseDeadline(written, locale) != date) {
            std::abort();
        }
    }
    return 0;
}
