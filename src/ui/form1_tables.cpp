// Partners in from tables and out to them: the import dialog and the import
// run off the UI thread; the export of the list with its check history.
#include <QFileInfo>

#include "tables/record_import.h"
#include "tables/table_export.h"
#include "ui/form1.h"
#include "ui/import_dialog.h"
#include "ui/window_words.h"

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
    const MainWindowWords& words = mainWindowWords();
    const bool done = runBusy(
        words.importTitle, words.readingTable, dialog.sourceName(), [&](const AbortFlag& cancel) {
            TableReader reader(source, options);
            if (!reader.open()) {
                problem = reader.error();
                return;
            }
            import = std::make_unique<RecordImport>(existing, update);
            problem =
                importTable(reader, header, mapping, *import, [&cancel] { return cancel.isSet(); });
        });
    if (!done) {
        return;  // cancelled: nothing is added
    }
    if (problem || !import) {
        // Nothing half-added: the list takes the records only when all were read.
        showMessage(words.tableUnreadable + (problem ? tableProblemWords(*problem) : QString()));
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
    const RecordStore added = import.added();
    model_->appendRecords(added);
    if (!added.isEmpty()) {
        // As the editor's add: no row selected, the first new record current.
        ListBox1->selectionModel()->clearSelection();
        ListBox1->selectionModel()->setCurrentIndex(model_->index(firstNew),
                                                    QItemSelectionModel::NoUpdate);
        ListBox1->scrollTo(model_->index(firstNew));
    }
    if (!added.isEmpty() || !updates.isEmpty()) {
        listContentChanged();
    }
}

namespace {

struct ExportType {
    QString MainWindowWords::*filter;
    ExportFormat format;
    const char16_t* suffix;
};

const ExportType kExportTypes[] = {
    {&MainWindowWords::xlsxFilter, ExportFormat::Xlsx, u"xlsx"},
    {&MainWindowWords::excelCsvFilter, ExportFormat::CsvExcel, u"csv"},
    {&MainWindowWords::csvFilter, ExportFormat::Csv, u"csv"},
};

// The type's name in the file dialog's list.
QString filterOf(const ExportType& type) {
    return mainWindowWords().*type.filter;
}

}  // namespace

void TForm1::ExportClick() {
    if (!ExportDialog1) {
        ExportDialog1 = new QFileDialog(this);
        ExportDialog1->setObjectName(u"ExportDialog1"_s);
        // Qt's own dialog, in Russian like the rest of the program.
        ExportDialog1->setOption(QFileDialog::DontUseNativeDialog);
        ExportDialog1->setAcceptMode(QFileDialog::AcceptSave);
        ExportDialog1->setFileMode(QFileDialog::AnyFile);
        QStringList filters;
        for (const ExportType& type : kExportTypes) {
            filters += filterOf(type);
        }
        ExportDialog1->setNameFilters(filters);
        ExportDialog1->setDefaultSuffix(QString::fromUtf16(kExportTypes[0].suffix));
        ExportDialog1->setSizeGripEnabled(true);
        connect(ExportDialog1, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            for (const ExportType& type : kExportTypes) {
                if (filter == filterOf(type)) {
                    ExportDialog1->setDefaultSuffix(QString::fromUtf16(type.suffix));
                }
            }
        });
    }
    if (runModal(*ExportDialog1) != QDialog::Accepted || ExportDialog1->selectedFiles().isEmpty()) {
        return;
    }
    const QString path = ExportDialog1->selectedFiles().first();
    ExportOptions options;
    for (const ExportType& type : kExportTypes) {
        if (ExportDialog1->selectedNameFilter() == filterOf(type)) {
            options.format = type.format;
        }
    }
    options.historyPath = historyPath_;
    const ColumnWidths widths = columnWidths();
    options.columnWidths = QList<int>(widths.begin(), widths.end());
    const RecordStore records = model_->records();  // a copy shares its text
    ExportOutcome outcome;
    // The history is read and the file written off the UI thread.
    const MainWindowWords& words = mainWindowWords();
    const bool done = runBusy(words.exportTitle, words.writingTable, QFileInfo(path).fileName(),
                              [&](const AbortFlag& cancel) {
                                  outcome = exportRecords(path, records, options,
                                                          [&cancel] { return cancel.isSet(); });
                              });
    if (!done) {
        return;
    }
    QStringList said;
    if (!outcome.ok()) {
        said += words.exportFailed + exportProblemWords(outcome);
    }
    if (!outcome.historyProblem.isEmpty()) {
        said += words.exportWithoutHistory;
    }
    if (!said.isEmpty()) {
        showMessage(said.join(u'\n'));
    }
}

}  // namespace quorvel
