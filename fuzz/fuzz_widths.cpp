// Any width file: every width stays within 50 to 10000, and a line that is
// read sets exactly its own section.
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

#include "ui/column_widths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("widths.qvf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    quorvel::ColumnWidths widths = quorvel::defaultColumnWidths(979);
    quorvel::readColumnWidths(path, widths);
    for (int width : widths) {
        if (width < quorvel::kMinSectionWidth || width > quorvel::kMaxSectionWidth) {
            std::abort();
        }
    }
    return 0;
}
