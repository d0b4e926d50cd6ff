#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/import_dialog.h"
#include "ui/overview_window.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// Every text a person can read in a widget tree: titles, captions, buttons,
// hints, menu items (without their shortcut keys), list entries and headers.
QStringList visibleTexts(const QWidget* root) {
    QStringList texts{root->windowTitle()};
    auto addHint = [&](const QString& hint) {
        const QString plain =
            Qt::mightBeRichText(hint) ? QTextDocumentFragment::fromHtml(hint).toPlainText() : hint;
        texts += plain.section(u'\t', 0, 0);
    };
    auto addAction = [&](const QAction* action) {
        texts += action->text().section(u'\t', 0, 0);
        addHint(action->toolTip());
    };
    QList<const QWidget*> widgets{root};
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        widgets += w;
    }
    for (const QWidget* w : widgets) {
        addHint(w->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            texts += label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            texts += button->text();
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            texts += edit->placeholderText();
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i) {
                texts += combo->itemText(i);
            }
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(w)) {
            if (const QAbstractItemModel* model = view->model()) {
                for (int c = 0; c < model->columnCount(view->rootIndex()); ++c) {
                    texts += model->headerData(c, Qt::Horizontal).toString();
                }
            }
        }
        for (const QAction* action : w->actions()) {
            addAction(action);
        }
    }
    return texts;
}

// The English words among the texts; file names and the filter's own pattern
// are the user's and the program's, not Qt's.
QStringList englishWords(QStringList texts, const QStringList& allowed) {
    QStringList words;
    static const QRegularExpression word(u"[A-Za-z]{2,}"_s);
    for (QString text : texts) {
        for (const QString& a : allowed) {
            text.remove(a);
        }
        for (const QRegularExpressionMatch& m : word.globalMatch(text)) {
            words += m.captured();
        }
    }
    words.removeDuplicates();
    return words;
}

// The texts of the popup menu that a context menu event on `target` opens.
// The menu may run a loop of its own, so it is looked for from a timer,
// inside that loop or after the event.
QStringList contextMenuTexts(QWidget* target) {
    QStringList texts;
    bool seen = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            texts = visibleTexts(menu);
            menu->close();
            seen = true;
            look.stop();
        }
    });
    look.start(10);
    const QPoint at = target->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QCoreApplication::sendEvent(target, &event);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen; }, 5000)) << "no menu opened";
    return texts;
}

class QtTexts : public ::testing::Test {
  protected:
    QtTexts()
        : modal(&TForm1::setModalHookForTests, [this](QDialog& dialog) {
              dialog.show();
              // The busy dialog may be done (and hidden) before it is ever
              // exposed: its work can fail at once.
              EXPECT_TRUE(QTest::qWaitFor(
                  [&] {
                      return dialog.isHidden() ||
                             (dialog.windowHandle() && dialog.windowHandle()->isExposed());
                  },
                  5000))
                  << dialog.metaObject()->className() << ' ' << dialog.objectName().toStdString();
              seen[dialog.objectName().isEmpty()
                       ? QString::fromLatin1(dialog.metaObject()->className())
                       : dialog.objectName()] += visibleTexts(&dialog);
              if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
                  if (auto* list = files->findChild<QAbstractItemView*>(u"listView"_s)) {
                      seen[u"file list menu"_s] += contextMenuTexts(list->viewport());
                  }
                  if (files->acceptMode() == QFileDialog::AcceptOpen) {
                      // For the import a table; for the load a file that is gone by
                      // now: the load fails with a message.
                      files->selectFile(dialog.objectName() == u"ImportFileDialog"
                                            ? dir.path(u"table.csv"_s)
                                            : dir.path(u"gone.qvp"_s));
                      dialog.hide();
                      return int(QDialog::Accepted);
                  }
              }
              if (auto* browse = dialog.findChild<QPushButton*>(u"ImportBrowse"_s)) {
                  // The import dialog with a table chosen: its preview and the
                  // field above each column.
                  browse->click();
                  // Its table is read off the UI thread.
                  auto* import = qobject_cast<ImportDialog*>(&dialog);
                  EXPECT_TRUE(import && QTest::qWaitFor([&] { return !import->reading(); }, 30000));
                  seen[u"ImportDialog with a table"_s] += visibleTexts(&dialog);
              }
              dialog.hide();
              if (dialog.objectName() == u"BusyDialog") {
                  // Until its work is done (perhaps already): what it waited
                  // for shows next.
                  return dialog.result() == QDialog::Accepted ? int(QDialog::Accepted)
                                                              : dialog.exec();
              }
              return int(QDialog::Rejected);
          }) {
        dir.write(u"data.qvp"_s, "<QV_U>127.0.0.1:1/x</QV_U>\r\n");
        dir.write(u"table.csv"_s, "\xD0\x94\xD0\xBE\xD0\xBD\xD0\xBE\xD1\x80;2\n3;4\n");
        form = std::make_unique<TForm1>(dir.path(QString()));
        form->setForms(nullptr, new TForm3(form.get()));
        form->showAtStart();
    }

    QString startDirectory = QDir::currentPath();
    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    std::map<QString, QStringList> seen;
    test::TempDir dir;
    std::unique_ptr<TForm1> form;
};

TEST_F(QtTexts, DialogsAndMenusSpeakRussian) {
    const test::Controls ui(form.get());
    ui.ToolButton4->trigger();  // save: the file dialog
    ui.ToolButton2->trigger();  // load: the file dialog, then the failure's message box
    ui.N3->trigger();           // the busy dialog (its download fails at once)
    test::named<QAction>(form.get(), "ImportButton")->trigger();  // the import, its file dialog
    test::named<QAction>(form.get(), "ExportButton")->trigger();  // the export's save dialog
    test::named<QAction>(form.get(), "N4")->trigger();            // the history window
    // The overview of every partner, and its search field's menu.
    test::named<QAction>(form.get(), "OverviewButton")->trigger();
    auto* overview = test::named<OverviewWindow>(form.get(), "OverviewWindow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview->upToDate(); }));
    seen[u"overview"_s] += visibleTexts(overview);
    seen[u"overview search menu"_s] +=
        contextMenuTexts(test::named<QLineEdit>(overview, "OverviewSearch"));

    ui.ToolButton1->trigger();
    for (QLineEdit* edit : {ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7}) {
        edit->setText(u"x"_s);
        edit->selectAll();
        seen[u"edit menu"_s] += contextMenuTexts(edit);
    }
    seen[u"date picker menu"_s] += contextMenuTexts(ui.DateTimePicker1);
    QCalendarWidget* calendar = ui.DateTimePicker1->calendarWidget();
    calendar->show();
    seen[u"calendar"_s] += visibleTexts(calendar);
    calendar->hide();

    // File and folder names are the user's: the dialogs show the folders
    // they start in.
    // So are the names of formats and encodings, and the list's own "icq" and "e-mail".
    QStringList allowed = {
        u"Quorvel"_s,  u"*.qvp"_s,    u"qvp"_s,          u"*.csv"_s,        u"*.tsv"_s,  u"*.txt"_s,
        u"*.xlsx"_s,   u"Excel"_s,    u"CSV"_s,          u"XLSX"_s,         u"TSV"_s,    u"UTF-8"_s,
        u"UTF-16LE"_s, u"UTF-16BE"_s, u"Windows-1251"_s, u"Windows-1252"_s, u"KOI8-R"_s, u"CP866"_s,
        u"icq"_s,      u"e-mail"_s,   u"table.csv"_s};
    for (const QString& path : {dir.path({}), startDirectory}) {
        allowed += path.split(u'/', Qt::SkipEmptyParts);
    }
    std::sort(allowed.begin(), allowed.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const auto& [what, texts] : seen) {
        EXPECT_GT(texts.join(QString()).size(), 0) << what.toStdString() << " was looked at";
        EXPECT_EQ(englishWords(texts, allowed), QStringList()) << what.toStdString();
    }
    for (const char* what : {"SaveDialog1", "OpenDialog1", "QMessageBox", "BusyDialog", "edit menu",
                             "date picker menu", "calendar", "file list menu", "ImportDialog",
                             "ImportFileDialog", "ImportDialog with a table", "ExportDialog1",
                             "HistoryWindow", "overview", "overview search menu"}) {
        EXPECT_TRUE(seen.count(QString::fromLatin1(what))) << what << " was not opened";
    }
    // The calendar names its months in Russian.
    EXPECT_TRUE(visibleTexts(calendar).join(u' ').contains(u"октябрь"_s, Qt::CaseInsensitive) ||
                visibleTexts(calendar).join(u' ').contains(u"Октябрь"_s));
}

}  // namespace
}  // namespace quorvel
