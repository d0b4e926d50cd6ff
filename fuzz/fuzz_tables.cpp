// Any bytes as a table: as a text table or a workbook as they come (the
// first byte 0, with limits small enough to be met), as the first sheet of
// a workbook (1), or as its shared strings (2). Reading never crashes, stays
// within its limits, reads the same rows again after a rewind, and every
// record the import makes is a well-formed record line.
#include <cstdint>
#include <cstdlib>

#include "records/record_line.h"
#include "tables/table_import.h"
#include "tables/xlsx_parts.h"

namespace {

struct Rows {
    QList<QStringList> cells;
    bool failed = false;
};

Rows readRows(quorvel::TableReader& reader, const quorvel::TableLimits& limits) {
    Rows rows;
    quorvel::TableRow row;
    while (reader.next(&row)) {
        if (row.cells.size() > limits.maxColumns || rows.cells.size() > limits.maxLines) {
            std::abort();
        }
        rows.cells += row.cells;
    }
    rows.failed = reader.error().has_value();
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QByteArray bytes;
    switch (data[0] % 3) {
        case 0:
            bytes = input;
            break;
        case 1:
            bytes = quorvel::test::workbook(input, "<si><t>a</t></si><si><t>b</t></si>");
            break;
        default:
            bytes = quorvel::test::workbook(
                "<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row>", input);
            break;
    }
    quorvel::TableLimits limits;
    limits.maxBytes = 1 << 20;
    limits.maxLines = 200;
    limits.maxColumns = 64;
    limits.maxCells = 4096;
    quorvel::TableReader reader(quorvel::TableSource::memory(bytes), {}, limits);
    if (!reader.open()) {
        return 0;
    }
    const Rows first = readRows(reader, limits);
    if (!reader.rewind()) {
        std::abort();  // it opened once
    }
    const Rows again = readRows(reader, limits);
    if (again.cells != first.cells || again.failed != first.failed) {
        std::abort();
    }

    quorvel::TablePreview preview;
    if (quorvel::previewTable(reader, {}, 20, &preview)) {
        return 0;
    }
    quorvel::RecordStore existing;
    quorvel::RecordImport import(existing, false);
    quorvel::importTable(reader, preview.header, preview.mapping, import);
    for (const QStringView line : import.added()) {
        if (quorvel::recordLineOf(quorvel::ExtractAllFields(line)) != line) {
            std::abort();  // a value forged or cut a field
        }
    }
    return 0;
}
