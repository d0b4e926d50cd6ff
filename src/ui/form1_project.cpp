// Project files: save the list to a file of the user's choosing, or replace
// it with the content of one.
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

#include "records/data_file.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "ui/form1.h"

namespace quorvel {

namespace {

QFileDialog* projectDialog(QWidget* owner, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(owner);
    // Qt's own dialog, in Russian like the rest of the program; a desktop's
    // native one would speak the desktop's language.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilter(QStringLiteral("файлы проекта Quorvel (*.qvp)"));
    dialog->setDefaultSuffix(QStringLiteral("qvp"));  // a name typed without one gets ".qvp"
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                        : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

// The current directory, put back when the command ends, whatever happened.
class CurrentDirectoryKeeper {
  public:
    CurrentDirectoryKeeper() : saved_(QDir::currentPath()) {}
    ~CurrentDirectoryKeeper() { QDir::setCurrent(saved_); }

  private:
    QString saved_;
};

// A file with text in it but not a single field tag is no record file: a
// table, say, whose lines would each become an empty record.
bool holdsNoRecord(const RecordStore& records) {
    bool text = false;
    for (const QStringView line : records) {
        if (holdsFieldTag(line)) {
            return false;
        }
        text = text || !line.trimmed().isEmpty();
    }
    return text;
}

// The file the dialog ended with; the next opening starts from it.
QString chosenFile(QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return QString();
    }
    dialog.selectFile(files.first());
    return files.first();
}

}  // namespace

void TForm1::buildDialogs() {
    OpenDialog1 = projectDialog(this, QFileDialog::AcceptOpen);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    SaveDialog1 = projectDialog(this, QFileDialog::AcceptSave);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    connect(ToolButton4, &QAction::triggered, this, [this] { ToolButton4Click(); });
    connect(ToolButton2, &QAction::triggered, this, [this] { ToolButton2Click(); });
}

void TForm1::showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));  // Qt's own is Latin
    box.setObjectName(QStringLiteral("QMessageBox"));
    runModal(box);
}

bool TForm1::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::No);
    box.setObjectName(QStringLiteral("QMessageBox"));
    return runModal(box) == QMessageBox::Yes;
}

void TForm1::ToolButton4Click() {
    CurrentDirectoryKeeper keeper;
    if (runModal(*SaveDialog1) != QDialog::Accepted) {
        return;
    }
    const QString file = chosenFile(*SaveDialog1);
    if (file.isEmpty()) {
        showMessage(QStringLiteral("Не удалось сохранить файл проекта"));
        return;
    }
    Outcome<> saved = lossyProjects_.keepBeforeWriting(file);
    if (saved) {
        saved = writeRecordFile(file, model_->records());
    }
    if (!saved) {
        logFileProblem("write", file, saved.error);
        showMessage(QStringLiteral("Не удалось сохранить файл проекта"));
    }
}

void TForm1::ToolButton2Click() {
    CurrentDirectoryKeeper keeper;
    if (runModal(*OpenDialog1) != QDialog::Accepted) {
        return;
    }
    const QString file = chosenFile(*OpenDialog1);
    RecordFileContent content = file.isEmpty() ? RecordFileContent{} : readRecordFile(file);
    if (!wasRead(content.outcome)) {
        if (!file.isEmpty()) {
            logFileProblem(
                "read", file,
                content.problem.isEmpty() ? QStringLiteral("no such file") : content.problem);
        }
        showMessage(QStringLiteral("Не удалось загрузить файл проекта"));
        return;
    }
    if (holdsNoRecord(content.records)) {
        // Loading it would put an empty record in place of every line, and
        // the closing write would put those over data.qvp: the list stays,
        // and the file may be read as the table it likely is.
        if (askYesNo(QStringLiteral("файл не похож на файл проекта: в нем нет ни одной записи. "
                                    "Открыть его как таблицу?"))) {
            ImportClick(file);
        }
        return;
    }
    lossyProjects_.noteRead(file, content.outcome);
    model_->setRecords(std::move(content.records));
    listContentChanged();
}

}  // namespace quorvel
