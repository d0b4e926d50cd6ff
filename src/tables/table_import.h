#pragma once

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

#include "tables/column_mapping.h"
#include "tables/record_import.h"
#include "tables/table_reader.h"

namespace quorvel {

// How one table is to be read; what is not given is detected.
struct TablePlan {
    TableReadOptions read;
    std::optional<bool> header;            // the first row names the columns
    std::optional<ColumnMapping> mapping;  // else by the header's names, or by addresses
};

// What a table's first rows tell.
struct TablePreview {
    TableLayout layout;
    bool header = false;
    QStringList headerCells;  // when there is a header
    QList<TableRow> rows;     // the first rows below it (blank rows left out)
    ColumnMapping mapping;    // one entry per column
    qsizetype columns = 0;    // the most cells a row of the preview has
};

// How many rows the header and the address columns are decided from.
inline constexpr qsizetype kSampleRows = 50;

// Reads the first rows of an opened table (`reader.open()` succeeded) and
// decides its header and mapping as `plan` says. At most `rows` rows are
// kept in the preview (at least kSampleRows are looked at).
std::optional<TableError> previewTable(TableReader& reader, const TablePlan& plan, qsizetype rows,
                                       TablePreview* preview);

// The mapping for a table whose first row is `header` (or none), decided
// from its first rows as previewTable does.
ColumnMapping automaticMapping(bool header, const QStringList& headerCells,
                               const QList<TableRow>& sample);

// Reads every row of an opened table into `into`, with the header and the
// mapping decided. Rows already taken are kept in `into` when a problem
// stops the reading, or `stop` (asked now and then) says so; the caller
// decides whether any of it counts.
std::optional<TableError> importTable(TableReader& reader, bool header,
                                      const ColumnMapping& mapping, RecordImport& into,
                                      const std::function<bool()>& stop = {});

}  // namespace quorvel
