#include "ui/import_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/background_work.h"
#include "ui/window_words.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

struct DelimiterChoice {
    QChar delimiter;
    QString ImportWords::*words;
};

const DelimiterChoice kDelimiters[] = {
    {u'\t', &ImportWords::tab},
    {u';', &ImportWords::semicolon},
    {u',', &ImportWords::comma},
};

QString delimiterWords(QChar delimiter) {
    for (const DelimiterChoice& choice : kDelimiters) {
        if (choice.delimiter == delimiter) {
            return importWords().*choice.words;
        }
    }
    return importWords().otherDelimiter.arg(delimiter);
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

}  // namespace

ImportDialog::ImportDialog(QWidget* parent, std::function<int(QDialog&)> runModal)
    : QDialog(parent),
      runModal_(std::move(runModal)),
      readWork_(std::make_unique<BackgroundWork>(this)) {
    const ImportWords& words = importWords();
    setObjectName(u"ImportDialog"_s);
    setWindowTitle(mainWindowWords().importTitle);
    setSizeGripEnabled(true);
    resize(820, 520);
    auto* column = new QVBoxLayout(this);

    // Where the partners come from.
    auto* from = new QGridLayout;
    from->addWidget(new QLabel(words.from, this), 0, 0);
    fileChoice_ = named(new QRadioButton(words.file, this), "ImportFileChoice");
    from->addWidget(fileChoice_, 0, 1);
    fileEdit_ = named(new QLineEdit(this), "ImportFileName");
    fileEdit_->setReadOnly(true);
    from->addWidget(fileEdit_, 0, 2);
    browse_ = named(new QPushButton(words.browse, this), "ImportBrowse");
    from->addWidget(browse_, 0, 3);
    clipboardChoice_ = named(new QRadioButton(words.clipboard, this), "ImportClipboardChoice");
    from->addWidget(clipboardChoice_, 1, 1, 1, 3);
    from->setColumnStretch(2, 1);
    column->addLayout(from);

    // How it is read.
    auto* reading = new QHBoxLayout;
    reading->addWidget(new QLabel(words.encoding, this));
    encodingBox_ = named(new QComboBox(this), "ImportEncoding");
    for (const TextEncoding encoding : kTextEncodings) {
        encodingBox_->addItem(encodingName(encoding), int(encoding));
    }
    reading->addWidget(encodingBox_);
    reading->addSpacing(12);
    reading->addWidget(new QLabel(words.delimiter, this));
    delimiterBox_ = named(new QComboBox(this), "ImportDelimiter");
    for (const DelimiterChoice& choice : kDelimiters) {
        delimiterBox_->addItem(words.*choice.words, QString(choice.delimiter));
    }
    reading->addWidget(delimiterBox_);
    reading->addSpacing(12);
    headerBox_ = named(new QCheckBox(words.headerChoice, this), "ImportHeader");
    reading->addWidget(headerBox_);
    reading->addStretch(1);
    column->addLayout(reading);
    detectedLabel_ = named(new QLabel(this), "ImportDetected");
    detectedLabel_->setTextFormat(Qt::PlainText);
    column->addWidget(detectedLabel_);

    // The first rows, a field above each column.
    column->addWidget(new QLabel(words.mapping.arg(kPreviewRows), this));
    table_ = named(new QTableWidget(this), "ImportPreview");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);
    column->addWidget(table_, 1);

    updateBox_ = named(new QCheckBox(words.update, this), "ImportUpdate");
    column->addWidget(updateBox_);
    problemLabel_ = named(new QLabel(this), "ImportProblem");
    problemLabel_->setTextFormat(Qt::PlainText);
    problemLabel_->setStyleSheet(u"color: #a00000"_s);
    problemLabel_->setWordWrap(true);
    column->addWidget(problemLabel_);

    auto* buttons = new QDialogButtonBox(this);
    importButton_ =
        named(buttons->addButton(words.import, QDialogButtonBox::AcceptRole), "ImportOk");
    named(buttons->addButton(words.cancel, QDialogButtonBox::RejectRole), "ImportCancel");
    importButton_->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    fileDialog_ = named(new QFileDialog(this), "ImportFileDialog");
    // Qt's own dialog, in Russian like the rest of the program.
    fileDialog_->setOption(QFileDialog::DontUseNativeDialog);
    fileDialog_->setNameFilter(words.fileFilter);
    fileDialog_->setFileMode(QFileDialog::ExistingFile);
    fileDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog_->setSizeGripEnabled(true);

    connect(browse_, &QPushButton::clicked, this, [this] { chooseFile(); });
    connect(fileChoice_, &QRadioButton::clicked, this, [this] {
        if (fileEdit_->text().isEmpty()) {
            chooseFile();
        } else {
            setFile(fileEdit_->text());
        }
    });
    connect(clipboardChoice_, &QRadioButton::clicked, this, [this] { setClipboardSource(); });
    connect(encodingBox_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) {
            encoding_ = TextEncoding(encodingBox_->currentData().toInt());
            reload();
        }
    });
    connect(delimiterBox_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) {
            delimiter_ = delimiterBox_->currentData().toString().at(0);
            reload();
        }
    });
    connect(headerBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_) {
            headerChoice_ = on;
            reload();
        }
    });
    showProblem(words.chooseSource);
}

ImportDialog::~ImportDialog() = default;

bool ImportDialog::reading() const {
    return readWork_->busy();
}

void ImportDialog::chooseFile() {
    if (runModal_(*fileDialog_) != QDialog::Accepted || fileDialog_->selectedFiles().isEmpty()) {
        fileChoice_->setChecked(source_.has_value() && !source_->inMemory);
        clipboardChoice_->setChecked(source_.has_value() && source_->inMemory);
        return;
    }
    setFile(fileDialog_->selectedFiles().first());
}

void ImportDialog::setFile(const QString& path) {
    fileChoice_->setChecked(true);
    fileEdit_->setText(QDir::toNativeSeparators(path));
    fileDialog_->selectFile(path);
    source_ = TableSource::file(path);
    sourceName_ = QFileInfo(path).fileName();
    encoding_.reset();
    delimiter_.reset();
    headerChoice_.reset();
    reload();
}

void ImportDialog::setClipboardSource() {
    clipboardChoice_->setChecked(true);
    const QString text = QGuiApplication::clipboard()->text();
    // A paste of cells arrives as TAB-separated text; read as UTF-8 it is
    // exactly the text the clipboard holds.
    source_ = TableSource::memory(text.toUtf8());
    sourceName_ = importWords().clipboardName;
    encoding_.reset();
    delimiter_.reset();
    headerChoice_.reset();
    if (text.trimmed().isEmpty()) {
        if (reading()) {
            // A read still under way no longer counts.
            readWork_->post([](const std::atomic<bool>&) { return BackgroundWork::Done([] {}); });
            detectedLabel_->setText(detectedBeforeRead_);
            table_->setEnabled(true);
        }
        preview_ = TablePreview{};
        mapping_.clear();
        showPreview();
        showProblem(importWords().clipboardEmpty);
        return;
    }
    reload();
}

TableReadOptions ImportDialog::readOptions() const {
    TableReadOptions options;
    if (preview_.layout.format == TableFormat::Text) {
        options.encoding = preview_.layout.encoding;
        options.delimiter = preview_.layout.delimiter;
    }
    return options;
}

void ImportDialog::showProblem(const QString& text) {
    problemLabel_->setText(text);
    problemLabel_->setVisible(!text.isEmpty());
    importButton_->setEnabled(text.isEmpty() && source_.has_value());
}

void ImportDialog::reload() {
    if (!source_) {
        return;
    }
    // A table may be hundreds of megabytes: it is read off the UI thread,
    // and nothing can be imported or mapped until its preview is shown. A
    // choice made meanwhile reads it again, and only the newest read shows.
    if (!reading()) {
        detectedBeforeRead_ = detectedLabel_->text();
    }
    detectedLabel_->setText(mainWindowWords().readingTable);
    table_->setEnabled(false);
    problemLabel_->clear();
    problemLabel_->hide();
    importButton_->setEnabled(false);
    readWork_->post([this, source = *source_, options = TableReadOptions{encoding_, delimiter_},
                     header = headerChoice_](const std::atomic<bool>&) -> BackgroundWork::Done {
        TableReader reader(source, options);
        std::optional<TableError> problem;
        TablePreview preview;
        if (!reader.open()) {
            problem = reader.error();
        } else {
            TablePlan plan;
            plan.header = header;
            problem = previewTable(reader, plan, kPreviewRows, &preview);
        }
        return [this, problem, preview]() { showRead(problem, preview); };
    });
}

void ImportDialog::showRead(const std::optional<TableError>& problem, TablePreview preview) {
    table_->setEnabled(true);
    preview_ = std::move(preview);
    if (problem) {
        detectedLabel_->setText(detectedBeforeRead_);
        preview_ = TablePreview{};
        mapping_.clear();
        showPreview();
        showProblem(mainWindowWords().tableUnreadable + tableProblemWords(*problem));
        return;
    }
    mapping_ = preview_.mapping;

    // The controls show what the reading went by.
    filling_ = true;
    const TableLayout& layout = preview_.layout;
    const bool text = layout.format == TableFormat::Text;
    encodingBox_->setEnabled(text);
    delimiterBox_->setEnabled(text);
    encodingBox_->setCurrentIndex(encodingBox_->findData(int(layout.encoding)));
    int delimiterIndex = delimiterBox_->findData(QString(layout.delimiter));
    if (delimiterIndex < 0) {  // another character, named by a sep= line
        delimiterBox_->addItem(delimiterWords(layout.delimiter), QString(layout.delimiter));
        delimiterIndex = delimiterBox_->count() - 1;
    }
    delimiterBox_->setCurrentIndex(delimiterIndex);
    headerBox_->setChecked(preview_.header);
    filling_ = false;

    const ImportWords& words = importWords();
    QStringList detected;
    if (!text) {
        detected += words.firstSheet;
    } else {
        detected += (encoding_ ? words.encodingChosen : words.encodingFound) +
                    encodingName(layout.encoding) +
                    (layout.byteOrderMark ? words.byMark : QString());
        detected += (delimiter_ ? words.delimiterChosen : words.delimiterFound) +
                    delimiterWords(layout.delimiter) +
                    (layout.delimiterFromSep ? words.bySepLine : QString());
    }
    detected += preview_.header ? words.headerRow : words.noHeaderRow;
    detectedLabel_->setText(words.detected + detected.join(u", "));
    showPreview();
    showProblem(QString());
}

void ImportDialog::showPreview() {
    table_->clear();
    const int columns = int(preview_.columns);
    table_->setColumnCount(columns);
    table_->setRowCount(columns > 0 ? int(preview_.rows.size()) + 1 : 0);
    QStringList labels;
    for (int c = 0; c < columns; ++c) {
        const QString head = preview_.header ? preview_.headerCells.value(c) : QString();
        labels += head.isEmpty() ? importWords().column.arg(c + 1) : head;
    }
    table_->setHorizontalHeaderLabels(labels);
    for (int c = 0; c < columns; ++c) {
        auto* box = new QComboBox(table_);
        box->setObjectName(u"ImportField%1"_s.arg(c + 1));
        box->addItem(importWords().notImported, int(ImportField::None));
        for (int k = 0; k < kImportFieldCount; ++k) {
            box->addItem(editorCaption(k), k);
        }
        box->setCurrentIndex(box->findData(int(mapping_.value(c, ImportField::None))));
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box, c] { fieldChosen(c, ImportField(box->currentData().toInt())); });
        table_->setCellWidget(0, c, box);
    }
    for (int r = 0; r < preview_.rows.size(); ++r) {
        for (int c = 0; c < columns; ++c) {
            table_->setItem(r + 1, c, new QTableWidgetItem(preview_.rows.at(r).cell(c)));
        }
    }
    table_->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c) {
        table_->setColumnWidth(c, qBound(120, table_->columnWidth(c), 320));
    }
}

void ImportDialog::fieldChosen(int column, ImportField field) {
    mapping_.resize(qMax<qsizetype>(mapping_.size(), column + 1), ImportField::None);
    mapping_[column] = field;
    if (field == ImportField::None || field == ImportField::Notes) {
        return;
    }
    // A field other than notes takes one column: the one just chosen.
    for (int c = 0; c < mapping_.size(); ++c) {
        if (c != column && mapping_.at(c) == field) {
            mapping_[c] = ImportField::None;
            if (auto* box = qobject_cast<QComboBox*>(table_->cellWidget(0, c))) {
                const QSignalBlocker quiet(box);
                box->setCurrentIndex(box->findData(int(ImportField::None)));
            }
        }
    }
}

}  // namespace quorvel
