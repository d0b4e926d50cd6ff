#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <functional>
#include <memory>
#include <optional>

#include "tables/table_import.h"

namespace quorvel {

class BackgroundWork;

// The import dialog: where the partners come from (a table file or the
// clipboard), how it is read (encoding, delimiter, header row: detected,
// shown, and each open to a choice), a preview of its first rows with the
// record field of every column above it, and whether rows of records that
// are there already update them. It only chooses; the window imports. The
// table is read off the UI thread, so that a large one never freezes it.
class ImportDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPreviewRows = 20;

    // `runModal` runs the file dialog as the window runs its dialogs.
    ImportDialog(QWidget* parent, std::function<int(QDialog&)> runModal);
    ~ImportDialog() override;

    // The source: a table file, or the clipboard's text; the preview follows.
    void setFile(const QString& path);
    void setClipboardSource();

    // What the user chose, for the import. The reading is pinned to what
    // the preview showed, so the import reads the table the same way.
    // A source whose preview could be read.
    bool ready() const {
        return source_.has_value() && !reading() && problemLabel_->text().isEmpty();
    }
    // Whether the source is being read for its preview.
    bool reading() const;
    TableSource source() const { return *source_; }
    TableReadOptions readOptions() const;
    bool header() const { return preview_.header; }
    ColumnMapping mapping() const { return mapping_; }
    bool updateExisting() const { return updateBox_->isChecked(); }
    // The file's name, or the clipboard's.
    QString sourceName() const { return sourceName_; }

  private:
    void chooseFile();
    // Reads the source again with the choices made, and shows it.
    void reload();
    void showRead(const std::optional<TableError>& problem, TablePreview preview);
    void showPreview();
    void showProblem(const QString& text);
    void fieldChosen(int column, ImportField field);

    std::function<int(QDialog&)> runModal_;
    QRadioButton* fileChoice_ = nullptr;
    QLineEdit* fileEdit_ = nullptr;
    QPushButton* browse_ = nullptr;
    QRadioButton* clipboardChoice_ = nullptr;
    QComboBox* encodingBox_ = nullptr;
    QComboBox* delimiterBox_ = nullptr;
    QCheckBox* headerBox_ = nullptr;
    QLabel* detectedLabel_ = nullptr;
    QTableWidget* table_ = nullptr;
    QCheckBox* updateBox_ = nullptr;
    QLabel* problemLabel_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QFileDialog* fileDialog_ = nullptr;

    std::optional<TableSource> source_;
    QString sourceName_;
    // The user's choices; what is not chosen is detected.
    std::optional<TextEncoding> encoding_;
    std::optional<QChar> delimiter_;
    std::optional<bool> headerChoice_;
    TablePreview preview_;
    ColumnMapping mapping_;
    bool filling_ = false;  // the controls are being set, not changed by the user
    QString detectedBeforeRead_;
    std::unique_ptr<BackgroundWork> readWork_;  // last: it ends before the rest goes
};

}  // namespace quorvel
