#include "ui/column_widths.h"

#include <cmath>

#include "records/file_io.h"
#include "records/int_text.h"
#include "records/record_file.h"

namespace quorvel {

int clampSectionWidth(int width) {
    return qBound(kMinSectionWidth, width, kMaxSectionWidth);
}

ColumnWidths defaultColumnWidths(int listWidth) {
    // nearbyint rounds to the even neighbour on a tie (the default rounding mode).
    auto part = [&](int divisor) {
        return clampSectionWidth(int(std::nearbyint(double(listWidth) / divisor)));
    };
    return {part(4), part(4), part(9),          part(9),
            part(6), part(6), kMinSectionWidth, kMinSectionWidth};
}

void readColumnWidths(const QString& path, ColumnWidths& widths) {
    const RecordFileContent content = readRecordFile(path);
    if (!wasRead(content.outcome)) {
        return;
    }
    for (int i = 0; i < kSectionCount && i < content.records.size(); ++i) {
        const std::optional<int32_t> width = parseInt32Text(content.records.view(i));
        if (!width) {
            return;
        }
        widths[size_t(i)] = clampSectionWidth(*width);
    }
}

Outcome<> writeColumnWidths(const QString& path, const ColumnWidths& widths) {
    QByteArray bytes;
    for (int width : widths) {
        bytes += QByteArray::number(width) + "\r\n";
    }
    return writeFileAtomically(path, bytes);
}

}  // namespace quorvel
