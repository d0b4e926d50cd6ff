#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "records/record_file.h"
#include "records/record_line.h"
#include "support/printers.h"
#include "support/temp_dir.h"
#include "tables/table_export.h"
#include "ui/form1.h"
#include "ui/import_dialog.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

QString fixture(const char* name) {
    return QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tables/") + QLatin1StringView(name);
}

// A window on a scratch directory whose dialogs the test answers: file
// dialogs choose `chosenFile`, the import dialog goes to `onImport`, the
// busy dialog runs (unless `cancelBusy`), questions get `yes`, and every
// message box's text is kept.
class WindowTables : public ::testing::Test {
  protected:
    WindowTables()
        : modal(&TForm1::setModalHookForTests, [this](QDialog& dialog) {
              dialogs += dialog.objectName();
              if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                  messages += box->text();
                  if (box->standardButtons() & QMessageBox::Yes) {
                      return int(yes ? QMessageBox::Yes : QMessageBox::No);
                  }
                  return int(QMessageBox::Ok);
              }
              if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
                  if (chosenFile.isEmpty()) {
                      return int(QDialog::Rejected);
                  }
                  files->selectFile(chosenFile);
                  if (!chosenFilter.isEmpty()) {
                      files->selectNameFilter(chosenFilter);
                  }
                  return int(QDialog::Accepted);
              }
              if (auto* import = qobject_cast<ImportDialog*>(&dialog)) {
                  return onImport ? onImport(*import) : int(QDialog::Rejected);
              }
              if (dialog.objectName() == u"BusyDialog") {
                  return cancelBusy ? int(QDialog::Rejected) : dialog.exec();
              }
              return int(QDialog::Rejected);
          }) {}

    void start(const QStringList& records) {
        ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));
        form = std::make_unique<TForm1>(dir.path(QString()));
        form->showAtStart();
        ui = std::make_unique<test::Controls>(form.get());
    }
    QStringList lines() const { return form->records()->records().toStringList(); }
    template <typename T>
    static T* in(const QObject* root, const char* name) {
        return test::named<T>(root, name);
    }
    // Waits until the dialog shows the table it reads off the UI thread.
    static bool readShown(const ImportDialog& dialog) {
        return QTest::qWaitFor([&] { return !dialog.reading(); }, 30000);
    }

    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    test::TempDir dir;
    QString chosenFile;
    QString chosenFilter;
    std::function<int(ImportDialog&)> onImport;
    bool cancelBusy = false;
    bool yes = false;
    QStringList dialogs;
    QStringList messages;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<test::Controls> ui;
};

const QString kOld =
    BuildRecordLine(u"http://partner-one.ru/links.html"_s, {}, {}, QDate(2011, 2, 3), {}, u"5"_s,
                    u"http://my-site.ru/"_s, u"старый"_s);

TEST_F(WindowTables, CommandsSitRightOfTheFirstOnes) {
    start({});
    const QList<QAction*> bar = test::named<QToolBar>(form.get(), "ToolBar1")->actions();
    const auto at = [&](const char* name) { return bar.indexOf(in<QAction>(form.get(), name)); };
    // The overview's button comes first after the program's own.
    EXPECT_EQ(at("ImportButton"), at("OverviewButton") + 1);
    EXPECT_EQ(at("OverviewButton"), at("ToolButton6") + 1);
    EXPECT_EQ(at("ExportButton"), at("ImportButton") + 1);
    EXPECT_EQ(in<QAction>(form.get(), "ImportButton")->property("hint").toString(),
              u"импорт партнеров из таблицы (CSV, TSV, XLSX) или из буфера обмена");
    EXPECT_EQ(in<QAction>(form.get(), "ExportButton")->property("hint").toString(),
              u"экспорт списка и результатов проверки в таблицу");

    QStringList menu;
    for (const QAction* action : ui->PopupMenu1->actions()) {
        menu += action->isSeparator() ? u"-"_s : action->objectName();
    }
    EXPECT_EQ(menu, (QStringList{u"N1"_s, u"N3"_s, u"N2"_s, u"N4"_s, u"RenderMenuItem"_s, u"-"_s,
                                 u"ImportMenuItem"_s, u"ExportMenuItem"_s}));
    EXPECT_EQ(in<QAction>(form.get(), "ImportMenuItem")->text(), u"импорт партнеров…");
    EXPECT_EQ(in<QAction>(form.get(), "ExportMenuItem")->text(), u"экспорт…");
}

TEST_F(WindowTables, ImportShowsWhatItReadsAndAppends) {
    start({kOld});
    form->MarkersShown = true;
    chosenFile = fixture("excel_ru.csv");
    QStringList fields;
    onImport = [&](ImportDialog& dialog) {
        EXPECT_FALSE(in<QPushButton>(&dialog, "ImportOk")->isEnabled()) << "no source yet";
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(readShown(dialog));
        EXPECT_EQ(in<QComboBox>(&dialog, "ImportEncoding")->currentText(), u"Windows-1251");
        EXPECT_EQ(in<QComboBox>(&dialog, "ImportDelimiter")->currentText(), u"точка с запятой");
        EXPECT_TRUE(in<QCheckBox>(&dialog, "ImportHeader")->isChecked());
        auto* preview = in<QTableWidget>(&dialog, "ImportPreview");
        EXPECT_EQ(preview->rowCount(), 1 + 3);
        EXPECT_EQ(preview->horizontalHeaderItem(0)->text(), u"Донор");
        EXPECT_EQ(preview->item(2, 0)->text(), u"partner-two.ru/friends");
        for (int c = 0; c < preview->columnCount(); ++c) {
            fields += qobject_cast<QComboBox*>(preview->cellWidget(0, c))->currentText();
        }
        // The user takes the notes out, and a second column for a field
        // takes it from the first.
        auto* notes = qobject_cast<QComboBox*>(preview->cellWidget(0, 4));
        notes->setCurrentIndex(notes->findText(u"не импортировать"_s));
        auto* mail = qobject_cast<QComboBox*>(preview->cellWidget(0, 3));
        mail->setCurrentIndex(mail->findText(u"страница партнера"_s));
        EXPECT_EQ(qobject_cast<QComboBox*>(preview->cellWidget(0, 0))->currentText(),
                  u"не импортировать");
        mail->setCurrentIndex(mail->findText(u"e-mail партнера"_s));
        auto* first = qobject_cast<QComboBox*>(preview->cellWidget(0, 0));
        first->setCurrentIndex(first->findText(u"страница партнера"_s));
        return int(QDialog::Accepted);
    };
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(fields,
              (QStringList{u"страница партнера"_s, u"ваша ссылка на странице партнера"_s,
                           u"должен установить до"_s, u"e-mail партнера"_s, u"дополнительно"_s}));
    EXPECT_EQ(messages, QStringList{u"добавлено: 2, обновлено: 0, пропущено: дубли 1, без адреса "
                                    "0, с нечитаемой датой 0, с тегами записи 0"_s});
    const QStringList now = lines();
    ASSERT_EQ(now.size(), 3);
    EXPECT_EQ(now[0], kOld);
    EXPECT_EQ(now[1], recordLineOf({u"partner-two.ru/friends", u"", u"",
                                    FormatRecordDate(QDate(2026, 10, 1)), u"", u"",
                                    u"http://my-site.ru/catalog/", u""}));
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 1) << "the first new record";
    EXPECT_TRUE(ui->ListBox1->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(form->MarkersShown);
    EXPECT_EQ(ui->StatusPanel0->text(), u" всего элементов: 3");

    // With "обновить существующие" the record that is there takes the row's values.
    messages.clear();
    onImport = [&](ImportDialog& dialog) {
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(readShown(dialog));
        in<QCheckBox>(&dialog, "ImportUpdate")->setChecked(true);
        return int(QDialog::Accepted);
    };
    in<QAction>(form.get(), "ImportMenuItem")->trigger();  // the menu's item does the same
    // The second new record gains its notes; the first has nothing new.
    EXPECT_EQ(messages, QStringList{u"добавлено: 0, обновлено: 2, пропущено: дубли 1, без адреса "
                                    "0, с нечитаемой датой 0, с тегами записи 0"_s});
    EXPECT_EQ(ExtractField(lines()[0], QChar(u'7')), u"договорились, 500 руб.");
    EXPECT_EQ(ExtractField(lines()[0], QChar(u'D')), FormatRecordDate(QDate(2026, 9, 15)));
    EXPECT_EQ(ExtractField(lines()[0], QChar(u'5')), u"5") << "no column for it: kept";
    form->close();
}

// The table is read off the UI thread, when it is chosen and again for each
// choice of how to read it: until it is shown, nothing can be imported.
TEST_F(WindowTables, TheTableIsReadOffTheUiThread) {
    start({kOld});
    chosenFile = fixture("excel_ru.csv");
    onImport = [&](ImportDialog& dialog) {
        auto* preview = in<QTableWidget>(&dialog, "ImportPreview");
        auto* ok = in<QPushButton>(&dialog, "ImportOk");
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(dialog.reading());
        EXPECT_EQ(in<QLabel>(&dialog, "ImportDetected")->text(), u"Чтение таблицы…");
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_FALSE(dialog.ready());
        EXPECT_TRUE(readShown(dialog));
        EXPECT_TRUE(ok->isEnabled());
        EXPECT_EQ(preview->horizontalHeaderItem(0)->text(), u"Донор");

        // Another encoding chosen, then another: read again off the UI
        // thread, and shown as the last choice reads it.
        auto* encoding = in<QComboBox>(&dialog, "ImportEncoding");
        encoding->setCurrentIndex(encoding->findText(u"KOI8-R"_s));
        encoding->setCurrentIndex(encoding->findText(u"UTF-8"_s));
        EXPECT_TRUE(dialog.reading());
        EXPECT_FALSE(preview->isEnabled());
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_TRUE(readShown(dialog));
        EXPECT_EQ(encoding->currentText(), u"UTF-8");
        EXPECT_TRUE(in<QLabel>(&dialog, "ImportDetected")
                        ->text()
                        .startsWith(u"определено: кодировка выбрана: UTF-8, "));
        EXPECT_NE(preview->horizontalHeaderItem(0)->text(), u"Донор");
        EXPECT_TRUE(preview->isEnabled());
        return int(QDialog::Rejected);
    };
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(lines(), QStringList{kOld});
    form->close();
}

TEST_F(WindowTables, CellsFromTheClipboard) {
    start({});
    // Cells copied from a spreadsheet arrive TAB-separated.
    QGuiApplication::clipboard()->setText(
        u"Донор\tАкцептор\nhttp://a.example/\thttp://my.example/\nhttp://b.example/\t\n"_s);
    onImport = [&](ImportDialog& dialog) {
        in<QRadioButton>(&dialog, "ImportClipboardChoice")->click();
        EXPECT_TRUE(readShown(dialog));
        EXPECT_EQ(in<QComboBox>(&dialog, "ImportDelimiter")->currentText(), u"табуляция");
        EXPECT_TRUE(in<QCheckBox>(&dialog, "ImportHeader")->isChecked());
        return int(QDialog::Accepted);
    };
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(
        lines(),
        (QStringList{recordLineOf({u"http://a.example/", u"", u"", u"", u"", u"",
                                   u"http://my.example/", u""}),
                     recordLineOf({u"http://b.example/", u"", u"", u"", u"", u"", u"", u""})}));
    form->close();
}

TEST_F(WindowTables, NothingIsAddedWhenReadingFailsOrIsCancelled) {
    start({kOld});
    dir.write(u"broken.csv"_s, "url;notes\nhttp://a.example/;x\nhttp://b.example/;\"open\n");
    chosenFile = dir.path(u"broken.csv"_s);
    onImport = [&](ImportDialog& dialog) {
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(readShown(dialog));
        EXPECT_EQ(in<QLabel>(&dialog, "ImportProblem")->text(),
                  u"не удалось прочитать таблицу: строка 3: кавычка не закрыта");
        EXPECT_FALSE(in<QPushButton>(&dialog, "ImportOk")->isEnabled());
        return int(QDialog::Accepted);  // as if it could
    };
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(lines(), QStringList{kOld});
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();

    // A problem far below the rows the preview reads: the import stops at
    // it, and nothing of the rows before it is added.
    QByteArray late = "url;notes\n";
    for (int i = 0; i < 70; ++i) {
        late += "http://" + QByteArray::number(i) + ".example.com/;x\n";
    }
    dir.write(u"late.csv"_s, late + "http://z.example.com/;\"open\n");
    chosenFile = dir.path(u"late.csv"_s);
    onImport = [&](ImportDialog& dialog) {
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(readShown(dialog));
        EXPECT_TRUE(in<QPushButton>(&dialog, "ImportOk")->isEnabled());
        return int(QDialog::Accepted);
    };
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(messages,
              QStringList{u"не удалось прочитать таблицу: строка 72: кавычка не закрыта"_s});
    EXPECT_EQ(lines(), QStringList{kOld});
    messages.clear();

    chosenFile = fixture("google_sheets.csv");
    onImport = [&](ImportDialog& dialog) {
        in<QPushButton>(&dialog, "ImportBrowse")->click();
        EXPECT_TRUE(readShown(dialog));
        return int(QDialog::Accepted);
    };
    cancelBusy = true;
    in<QAction>(form.get(), "ImportButton")->trigger();
    EXPECT_EQ(lines(), QStringList{kOld});
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    form->close();
}

// A table chosen in the project load dialog is not loaded as a list of
// empty records, and the closing write does not put it over data.qvp.
TEST_F(WindowTables, ATableIsNoProjectFile) {
    start({kOld, u"<QV_U>second</QV_U>"_s});
    const QByteArray before = dir.read(u"data.qvp"_s);
    chosenFile = fixture("excel_utf8.csv");
    ui->ToolButton2->trigger();
    EXPECT_EQ(messages, QStringList{u"файл не похож на файл проекта: в нем нет ни одной записи. "
                                    "Открыть его как таблицу?"_s});
    EXPECT_EQ(lines(), (QStringList{kOld, u"<QV_U>second</QV_U>"_s}));

    // "Да": the import dialog opens with that file; cancelled, nothing changes.
    yes = true;
    QString shownFile;
    onImport = [&](ImportDialog& dialog) {
        shownFile = in<QLineEdit>(&dialog, "ImportFileName")->text();
        return int(QDialog::Rejected);
    };
    ui->ToolButton2->trigger();
    EXPECT_EQ(QDir::fromNativeSeparators(shownFile), chosenFile);
    EXPECT_EQ(lines(), (QStringList{kOld, u"<QV_U>second</QV_U>"_s}));
    form->close();
    EXPECT_EQ(dir.read(u"data.qvp"_s), before);
}

TEST_F(WindowTables, ExportWritesWhatImportReadsBack) {
    const QStringList records{kOld, BuildRecordLine(u"http://b.example/"_s, u"7"_s, {}, QDate(), {},
                                                    u"5"_s, {}, u"=2+2"_s)};
    start(records);
    chosenFile = dir.path(u"list.csv"_s);
    chosenFilter = u"CSV для Excel (*.csv)"_s;
    in<QAction>(form.get(), "ExportButton")->trigger();
    EXPECT_TRUE(dialogs.contains(u"BusyDialog"_s)) << "written off the UI thread";
    const QByteArray csv = dir.read(u"list.csv"_s);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF")) << csv.toStdString();
    EXPECT_TRUE(csv.contains(";'=2+2;"));
    EXPECT_TRUE(csv.endsWith("\r\n"));

    chosenFile = dir.path(u"list.xlsx"_s);
    chosenFilter = u"Excel (*.xlsx)"_s;
    in<QAction>(form.get(), "ExportMenuItem")->trigger();
    TableReader reader(TableSource::file(dir.path(u"list.xlsx"_s)));
    ASSERT_TRUE(reader.open());
    TableRow header;
    ASSERT_TRUE(reader.next(&header));
    EXPECT_EQ(header.cells, exportHeader());

    // Both read back into an empty list as the same records.
    yes = true;
    chosenFilter.clear();
    for (const char16_t* name : {u"list.csv", u"list.xlsx"}) {
        SCOPED_TRACE(QString::fromUtf16(name).toStdString());
        form->records()->setRecords({});
        chosenFile = dir.path(QString::fromUtf16(name));
        onImport = [&](ImportDialog& dialog) {
            in<QPushButton>(&dialog, "ImportBrowse")->click();
            EXPECT_TRUE(readShown(dialog));
            return int(QDialog::Accepted);
        };
        ui->ToolButton2->trigger();  // the load command offers the table to import
        EXPECT_EQ(lines(), records);
    }
    EXPECT_TRUE(messages.filter(u"Не удалось"_s).isEmpty()) << messages.join(u'\n').toStdString();
    form->close();
}

TEST_F(WindowTables, ProjectFilesLoadAsBefore) {
    start({kOld});
    // One tag anywhere makes a project file; an empty file is an empty list.
    dir.write(u"one.qvp"_s, "text\r\n<QV_U>x</QV_U>\r\n");
    chosenFile = dir.path(u"one.qvp"_s);
    ui->ToolButton2->trigger();
    EXPECT_EQ(lines(), (QStringList{u"text"_s, u"<QV_U>x</QV_U>"_s}));
    dir.write(u"empty.qvp"_s, "");
    chosenFile = dir.path(u"empty.qvp"_s);
    ui->ToolButton2->trigger();
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    form->close();
}

}  // namespace
}  // namespace quorvel
