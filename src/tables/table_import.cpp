#include "tables/table_import.h"

#include <algorithm>

namespace quorvel {

namespace {

bool isBlank(const TableRow& row) {
    return std::all_of(row.cells.begin(), row.cells.end(),
                       [](const QString& cell) { return cell.trimmed().isEmpty(); });
}

}  // namespace

ColumnMapping automaticMapping(bool header, const QStringList& headerCells,
                               const QList<TableRow>& sample) {
    ColumnMapping mapping = header ? mapHeader(headerCells) : mapAddressColumns(sample);
    qsizetype columns = headerCells.size();
    for (const TableRow& row : sample) {
        columns = qMax(columns, row.cells.size());
    }
    mapping.resize(qMax(mapping.size(), columns), ImportField::None);
    return mapping;
}

std::optional<TableError> previewTable(TableReader& reader, const TablePlan& plan, qsizetype rows,
                                       TablePreview* preview) {
    *preview = TablePreview{};
    preview->layout = reader.layout();
    if (!reader.rewind()) {
        return reader.error();
    }
    // The first row that is not blank, then the sample below it.
    std::optional<TableRow> first;
    QList<TableRow> sample;
    TableRow row;
    while (sample.size() < qMax(rows, kSampleRows) + 1 && reader.next(&row)) {
        if (!isBlank(row)) {
            sample.append(row);
        }
    }
    if (reader.error()) {
        return reader.error();
    }
    preview->header =
        plan.header.value_or(!sample.isEmpty() && looksLikeHeader(sample.first().cells));
    if (preview->header && !sample.isEmpty()) {
        preview->headerCells = sample.takeFirst().cells;
    }
    if (sample.size() > qMax(rows, kSampleRows)) {
        sample.removeLast();
    }
    preview->mapping = plan.mapping
                           ? withoutRepeats(*plan.mapping)
                           : automaticMapping(preview->header, preview->headerCells, sample);
    preview->columns = qMax(preview->headerCells.size(), preview->mapping.size());
    for (const TableRow& r : sample) {
        preview->columns = qMax(preview->columns, r.cells.size());
    }
    preview->mapping.resize(qMax(preview->mapping.size(), preview->columns), ImportField::None);
    sample.resize(qMin(sample.size(), rows));
    preview->rows = std::move(sample);
    return std::nullopt;
}

std::optional<TableError> importTable(TableReader& reader, bool header,
                                      const ColumnMapping& mapping, RecordImport& into,
                                      const std::function<bool()>& stop) {
    if (!reader.rewind()) {
        return reader.error();
    }
    into.beginTable(mapping, reader.layout());
    TableRow row;
    bool headerSkipped = !header;
    for (qsizetype n = 1; reader.next(&row); ++n) {
        if (stop && n % 4096 == 0 && stop()) {
            return std::nullopt;
        }
        if (!headerSkipped) {
            headerSkipped = !isBlank(row);
            continue;
        }
        into.addRow(row);
    }
    into.endTable();
    return reader.error();
}

}  // namespace quorvel
