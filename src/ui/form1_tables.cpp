// Partners in from tables and out to them: the import dialog and the import
// run off the UI thread; the export of the list with its check history.
#include "tables/record_import.h"
#include "ui/form1.h"
#include "ui/import_dialog.h"

namespace quorvel {

using namespace Qt::StringLiterals;

void TForm1::connectTableCommands() {
    for (QAction* action : {ImportButton, ImportMenuItem}) {
        connect(action, &QAction::triggered, this, [this] { ImportClick(); });
    }
    for (QAction* action : {ExportButton, ExportMenuItem}) {
        connect(action, &QAction::triggered, this, [this] { ExportClick(); });
    }
}

void TForm1::ImportClick(const QString& file) {
    ImportDialog dialog(this, [](QDialog& d) { return runModal(d); });
    if (!file.isEmpty()) {
        dialog.setFile(file);
    }
    if (runModal(dialog) != QDialog::Accepted || !dialog.ready()) {
        return;
    }
    // The list as it is now; a copy shares its text.
    const RecordStore existing = model_->records();
    const TableSource source = dialog.source();
    const TableReadOptions options = dialog.readOptions();
    const bool header = dialog.header();
    const ColumnMapping mapping = dialog.mapping();
    const bool update = dialog.updateExisting();
    std::optional<TableError> problem;
    std::unique_ptr<RecordImport> import;
    const bool done = runBusy(u"импорт партнеров"_s, u"Чтение таблицы…"_s, dialog.sourceName(),
                              [&](const AbortFlag& cancel) {
                                  TableReader reader(source, options);
                                  if (!reader.open()) {
                                      problem = reader.error();
                                      return;
                                  }
                                  import = std::make_unique<RecordImport>(existing, update);
                                  problem = importTable(reader, header, mapping, *import,
                                                        [&cancel] { return cancel.isSet(); });
                              });
    if (!done) {
        return;  // cancelled: nothing is added
    }
    if (problem || !import) {
        // Nothing half-added: the list takes the records only when all were read.
        showMessage(u"не удалось прочитать таблицу: "_s +
                    (problem ? tableProblemWords(*problem) : QString()));
        return;
    }
    applyImport(*import);
    showMessage(importCountsWords(import->counts()));
}

void TForm1::applyImport(const RecordImport& import) {
    const QMap<qsizetype, QString>& updates = import.updates();
    for (auto it = updates.cbegin(); it != updates.cend(); ++it) {
        model_->setRecord(int(it.key()), it.value());
    }
    const int firstNew = model_->rowCount();
    model_->appendRecords(import.added());
    if (!import.added().isEmpty()) {
        // As the editor's add: no row selected, the first new record current.
        ListBox1->selectionModel()->clearSelection();
        ListBox1->selectionModel()->setCurrentIndex(model_->index(firstNew),
                                                    QItemSelectionModel::NoUpdate);
        ListBox1->scrollTo(model_->index(firstNew));
    }
    if (!import.added().isEmpty() || !updates.isEmpty()) {
        listContentChanged();
    }
}

void TForm1::ExportClick() {}

}  // namespace quorvel
