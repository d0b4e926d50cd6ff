#pragma once

#include <QHash>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QMultiHash>
#include <QSet>
#include <QString>

#include <array>
#include <optional>

#include "history/history.h"
#include "records/record_file.h"
#include "records/record_store.h"
#include "tables/column_mapping.h"
#include "tables/table_reader.h"
#include "tables/table_values.h"

namespace quorvel {

struct ImportCounts {
    qsizetype added = 0;
    qsizetype updated = 0;
    qsizetype duplicates = 0;  // skipped: a record with that identity is there already
    qsizetype noAddress = 0;   // skipped: no partner page
    qsizetype badDates = 0;    // kept, without a deadline: the date could not be read
    qsizetype withTags = 0;    // skipped: a value holds a record field's tag
};

// Turns table rows into records for a list that holds `existing`. A row
// whose partner page and link (the history's identity) equal a record's
// that is there already, or an earlier row's, is a duplicate: skipped, or
// with `update` its non-empty values replace the existing record's. Nothing
// touches `existing` itself: the new records and the updates wait in here
// until the caller applies them, so a table that fails half-way adds
// nothing.
class RecordImport {
  public:
    RecordImport(const RecordStore& existing, bool update,
                 const QLocale& locale = QLocale::system());

    // The rows of one table, mapped to fields by `mapping`.
    void beginTable(const ColumnMapping& mapping, const TableLayout& layout);
    void addRow(const TableRow& row);
    // The table's deadlines whose day and month order its column decides.
    void endTable();

    // The new records as record lines, in the order of the rows.
    RecordStore added() const;
    qsizetype addedCount() const { return added_.size(); }
    // The existing records' new lines, by their index.
    const QMap<qsizetype, QString>& updates() const { return updates_; }
    const ImportCounts& counts() const { return counts_; }

    // The updates, then the new records appended.
    void applyTo(RecordStore* records) const;
    // The list as the import leaves it, a record at a time, without making
    // it whole in memory: the existing records (updated), then the new ones.
    // Valid while the import and the existing records are.
    RecordSequence result() const;
    // Lets go of what only the reading of rows needs.
    void dropIndex();

  private:
    // Where a record is: >= 0 an existing record's index, < 0 ~ a new one's.
    using Slot = qsizetype;

    std::array<QString, 8> fieldsAt(Slot slot) const;
    void setFieldsAt(Slot slot, const std::array<QString, 8>& fields);
    RecordIdentity identityAt(Slot slot) const;
    std::optional<Slot> find(const QString& partnerUrl, const QString& link) const;
    void remember(const QString& partnerUrl, const QString& link, Slot slot);
    // Sets the deadline of the record at `slot`.
    void setDeadline(Slot slot, const QString& deadline);

    const RecordStore& existing_;
    bool update_;
    QLocale locale_;
    // The new records' eight values each, joined by LF (which no value
    // holds): a record without its 104 characters of tags.
    RecordStore added_;
    QMap<qsizetype, QString> updates_;
    ImportCounts counts_;

    // Identities by hash: the first record with each hash, and the rare
    // others that share one.
    QHash<size_t, Slot> firstByHash_;
    QMultiHash<size_t, Slot> moreByHash_;
    bool existingIndexed_ = false;
    // Existing records this import matched already: a later equal row is a duplicate.
    QSet<Slot> touched_;

    ColumnMapping mapping_;
    bool textTable_ = true;
    DeadlineColumn deadlines_;
    struct Pending {
        Slot slot;
        QString text;
    };
    QList<Pending> pending_;
};

}  // namespace quorvel
