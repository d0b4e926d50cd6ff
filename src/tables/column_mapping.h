#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

#include "tables/table_reader.h"

namespace quorvel {

// The record field a column goes to. The values are the fields' places in
// the record line (kFieldCodes): U, I, E, D, 4, 5, 6, 7.
enum class ImportField : int {
    None = -1,  // not imported
    PartnerPage = 0,
    Icq,
    Email,
    Deadline,
    OwnPage,
    MaxLinks,
    YourLink,
    Notes,
};
inline constexpr int kImportFieldCount = 8;

// One entry per column of the table.
using ColumnMapping = QList<ImportField>;

// The field a header names: the whole header, lower-cased and without
// anything but letters and digits, equals one of the field's names treated
// the same way. Never by a part of it.
ImportField fieldOfHeader(QStringView header);

// Each header's field; where two columns name one field, the first keeps
// it, except for notes, which any number of columns may fill.
ColumnMapping mapHeader(const QStringList& header);

// The same rule for a mapping the user made: a field other than notes goes
// to its first column only.
ColumnMapping withoutRepeats(ColumnMapping mapping);

// A first row is a header when at least one of its cells names a field.
bool looksLikeHeader(const QStringList& firstRow);

// A web address as people write them in tables: with http:// or https://,
// or a host name with a dot ("www.example.com/page", "пример.рф").
bool isWebAddress(QStringView value);

// For a table without a header: the first column whose values are web
// addresses is the partner page, the second such column your link.
ColumnMapping mapAddressColumns(const QList<TableRow>& sample);

}  // namespace quorvel
