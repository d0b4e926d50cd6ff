// Partners in from tables and out to them: the import dialog and the import
// run off the UI thread; the export of the list with its check history.
#include <QFileInfo>

#include "tables/record_import.h"
#include "tables/table_export.h"
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
    const char16_t* filter;
    ExportFormat format;
    const char16_t* suffix;
};

const ExportType kExportTypes[] = {
    {u"Excel (*.xlsx)", ExportFormat::Xlsx, u"xlsx"},
    {u"CSV для Excel (*.csv)", ExportFormat::CsvExcel, u"csv"},
    {u"CSV (*.csv)", ExportFormat::Csv, u"csv"},
};

QString exportProblemWords(const ExportOutcome& outcome) {
    switch (outcome.problem) {
        case ExportOutcome::Problem::None:
        case ExportOutcome::Problem::Stopped:
            break;
        case ExportOutcome::Problem::TooManyRows:
            return u"в списке больше записей, чем помещается на лист XLSX (1048575)"_s;
        case ExportOutcome::Problem::CellTooLong:
            return u"строка %1: значение длиннее 32767 знаков не помещается в ячейку XLSX"_s.arg(
                outcome.row);
        case ExportOutcome::Problem::WriteFailed:
            return outcome.detail.isEmpty()
                       ? u"не удалось записать файл"_s
                       : u"не удалось записать файл ("_s + outcome.detail + u')';
    }
    return QString();
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
            filters += QString::fromUtf16(type.filter);
        }
        ExportDialog1->setNameFilters(filters);
        ExportDialog1->setDefaultSuffix(QString::fromUtf16(kExportTypes[0].suffix));
        ExportDialog1->setSizeGripEnabled(true);
        connect(ExportDialog1, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            for (const ExportType& type : kExportTypes) {
                if (filter == QStringView(type.filter)) {
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
        if (ExportDialog1->selectedNameFilter() == QStringView(type.filter)) {
            options.format = type.format;
        }
    }
    options.historyPath = historyPath_;
    const ColumnWidths widths = columnWidths();
    options.columnWidths = QList<int>(widths.begin(), widths.end());
    const RecordStore records = model_->records();  // a copy shares its text
    ExportOutcome outcome;
    // The history is read and the file written off the UI thread.
    const bool done = runBusy(u"экспорт"_s, u"Запись таблицы…"_s, QFileInfo(path).fileName(),
                              [&](const AbortFlag& cancel) {
                                  outcome = exportRecords(path, records, options,
                                                          [&cancel] { return cancel.isSet(); });
                              });
    if (!done) {
        return;
    }
    QStringList said;
    if (!outcome.ok()) {
        said += u"Не удалось экспортировать список: "_s + exportProblemWords(outcome);
    }
    if (!outcome.historyProblem.isEmpty()) {
        said += u"История проверок не прочитана: столбцы результатов проверки пусты."_s;
    }
    if (!said.isEmpty()) {
        showMessage(said.join(u'\n'));
    }
}

}  // namespace quorvel
