#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "records/record_file.h"
#include "records/record_line.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// A window on a scratch directory, with every modal dialog answered by the
// test: `answer` gets each one; by default it is rejected.
class Editor : public ::testing::Test {
  protected:
    Editor()
        : modal(&TForm1::setModalHookForTests, [this](QDialog& dialog) {
              if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                  messages += box->text();
                  return int(QMessageBox::Ok);
              }
              return answer ? answer(dialog) : int(QDialog::Rejected);
          }) {}

    void start(const QStringList& records) {
        ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));
        form = std::make_unique<TForm1>(dir.path(QString()));
        form->setForms(nullptr, new TForm3(form.get()));
        form->showAtStart();
        ui = std::make_unique<test::Controls>(form.get());
    }
    QStringList lines() const { return form->records()->records().toStringList(); }
    QPoint rowPoint(int row) const {
        return ui->ListBox1->visualRect(form->records()->index(row)).center();
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(ui->ListBox1->viewport(), Qt::LeftButton, modifiers, rowPoint(row));
    }
    QList<int> selectedRows() const {
        QList<int> rows;
        for (const QModelIndex& i : ui->ListBox1->selectionModel()->selectedRows()) {
            rows += i.row();
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    test::TempDir dir;
    std::function<int(QDialog&)> answer;
    QStringList messages;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<test::Controls> ui;
};

QString line(const char16_t* u, const char16_t* notes = u"") {
    return BuildRecordLine(QString::fromUtf16(u), u"1"_s, u"e@x"_s, QDate(2011, 2, 3), u"p"_s,
                           u"7"_s, u"me"_s, QString::fromUtf16(notes));
}

TEST_F(Editor, AddOnAnEmptyList) {
    start({});
    ui->ToolButton1->trigger();
    EXPECT_TRUE(ui->Panel1->isVisible());
    EXPECT_TRUE(ui->Button2->isVisible());
    EXPECT_FALSE(ui->Button1->isVisible());
    EXPECT_EQ(ui->Edit5->text(), u"5");
    EXPECT_EQ(ui->DateTimePicker1->date(), QDate(2010, 10, 20));
    QTest::keyClicks(ui->Edit1, u"partner.example.com"_s);
    EXPECT_EQ(ui->Edit1->property("hint").toString(), u"partner.example.com");
    QTest::keyClicks(ui->Edit7, u"<b>x</b>"_s);
    EXPECT_FALSE(ui->Edit7->toolTip().contains(u"<b>")) << "the hint shows text, not markup";
    ui->Edit7->clear();
    EXPECT_TRUE(ui->Edit7->toolTip().isEmpty()) << "an empty text gives no hint";
    QTest::mouseClick(ui->Button2, Qt::LeftButton);
    ASSERT_EQ(lines().size(), 1);
    EXPECT_EQ(lines().at(0), BuildRecordLine(u"partner.example.com"_s, {}, {}, QDate(2010, 10, 20),
                                             {}, u"5"_s, {}, {}));
    EXPECT_EQ(ui->StatusPanel0->text(), u" всего элементов: 1");
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 0);
    EXPECT_TRUE(selectedRows().isEmpty());
    // A Delete right after an add removes nothing: no row is selected.
    QTest::keyClick(ui->ListBox1, Qt::Key_Delete);
    EXPECT_EQ(lines().size(), 1);
}

TEST_F(Editor, AClickInAddModeCopiesTheRow) {
    start({line(u"a"), line(u"b", u"notes of b")});
    ui->ToolButton1->trigger();
    click(1);
    EXPECT_EQ(ui->Edit1->text(), u"b");
    EXPECT_EQ(ui->Edit7->text(), u"notes of b");
    EXPECT_EQ(ui->DateTimePicker1->date(), QDate(2011, 2, 3));
    QTest::mouseClick(ui->Button2, Qt::LeftButton);
    EXPECT_EQ(lines(),
              (QStringList{line(u"a"), line(u"b", u"notes of b"), line(u"b", u"notes of b")}));
}

TEST_F(Editor, ApplyReplacesTheCurrentRowOnly) {
    start({line(u"a"), line(u"b"), line(u"c"), line(u"d")});
    click(1);
    click(2, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (QList<int>{1, 2}));
    form->MarkersShown = true;
    ui->ToolButton5->trigger();
    EXPECT_EQ(ui->Edit1->text(), u"c") << "edit mode shows the current record";
    ui->Edit7->setText(u"changed"_s);
    QTest::mouseClick(ui->Button1, Qt::LeftButton);
    EXPECT_EQ(lines().at(2), line(u"c", u"changed"));
    EXPECT_EQ(lines().size(), 4);
    EXPECT_EQ(selectedRows(), (QList<int>{1})) << "the replaced row is no longer highlighted";
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 2);
    EXPECT_FALSE(form->MarkersShown);
}

TEST_F(Editor, DeleteRemovesTheSelectedRows) {
    start({line(u"a"), line(u"b"), line(u"c"), line(u"d"), line(u"e")});
    click(0);
    click(2, Qt::ControlModifier);
    click(4, Qt::ControlModifier);
    form->MarkersShown = true;
    QTest::keyClick(ui->ListBox1, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(lines(), (QStringList{line(u"b"), line(u"d")}));
    EXPECT_TRUE(selectedRows().isEmpty());
    EXPECT_TRUE(ui->ListBox1->currentIndex().isValid());
    EXPECT_EQ(ui->StatusPanel0->text(), u" всего элементов: 2");
    EXPECT_FALSE(form->MarkersShown);

    ui->ListBox1->selectAll();
    QTest::keyClick(ui->ListBox1, Qt::Key_Delete);
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_FALSE(ui->Button1->isEnabled());
    ui->ToolButton5->trigger();
    EXPECT_TRUE(ui->Edit5->text().isEmpty());
    EXPECT_TRUE(ui->Button1->isVisible());
    EXPECT_FALSE(ui->Button1->isEnabled());
}

TEST_F(Editor, PanelFollowsTheUsersOwnMoves) {
    QString undated = line(u"b");
    undated.replace(u"03.02.2011"_s, u"garbage"_s);
    start({line(u"a"), undated, line(u"c")});
    click(2);  // closed panel: nothing is filled
    ui->ToolButton5->trigger();
    EXPECT_EQ(ui->Edit1->text(), u"c");
    ui->DateTimePicker1->setDate(QDate(2000, 1, 1));
    ui->ListBox1->setFocus();
    ASSERT_EQ(ui->ListBox1->currentIndex().row(), 2);
    QTest::keyPress(ui->ListBox1, Qt::Key_Up);
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 1);
    QTest::keyRelease(ui->ListBox1, Qt::Key_Up);
    EXPECT_EQ(ui->Edit1->text(), u"b");
    EXPECT_EQ(ui->DateTimePicker1->date(), QDate(2000, 1, 1)) << "an unparsable date is skipped";
    // The program's own changes fill nothing.
    ui->ListBox1->selectionModel()->setCurrentIndex(form->records()->index(0),
                                                    QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(ui->Edit1->text(), u"b");
    // A double click, as the window system delivers it: a click, then the double click.
    ui->Button3->click();
    click(2);
    EXPECT_EQ(ui->Edit1->text(), u"b") << "the closed panel was not filled";
    QTest::mouseDClick(ui->ListBox1->viewport(), Qt::LeftButton, {}, rowPoint(2));
    EXPECT_EQ(ui->Edit1->text(), u"c");
    EXPECT_TRUE(ui->Button1->isVisible());
    QTest::mouseClick(ui->Button3, Qt::LeftButton);
    EXPECT_FALSE(ui->Panel1->isVisible());
}

// Every click on a row refills the open panel, also on the row that already
// is the only one selected, so a changed field gets the row's value back.
TEST_F(Editor, EveryClickOnARowRefillsThePanel) {
    start({line(u"a"), line(u"b"), line(u"c")});
    ui->ToolButton5->trigger();
    click(1);
    ASSERT_EQ(selectedRows(), (QList<int>{1}));
    struct Click {
        const char* what;
        Qt::KeyboardModifiers modifiers;
        const char16_t* shown;
    };
    const Click clicks[] = {{"plain, on the selected row", {}, u"b"},
                            {"again, plain", {}, u"b"},
                            {"with Ctrl", Qt::ControlModifier, u"b"},
                            {"with Shift", Qt::ShiftModifier, u"b"}};
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.what);
        ui->Edit1->setText(u"typed"_s);
        click(1, c.modifiers);
        EXPECT_EQ(ui->Edit1->text(), QStringView(c.shown));
    }
    // The same in add mode; an Up or Down release refills too.
    ui->ToolButton1->trigger();
    ui->ListBox1->setFocus();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        ui->Edit1->setText(u"typed"_s);
        QTest::keyClick(ui->ListBox1, key);
        EXPECT_NE(ui->Edit1->text(), u"typed");
    }
    click(0);
    EXPECT_EQ(ui->Edit1->text(), u"a");
}

// Tab leaves the deadline picker in one press; its sections are reached
// with the arrow keys.
TEST_F(Editor, TabLeavesTheDatePickerAtOnce) {
    start({});
    ui->ToolButton1->trigger();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ui->DateTimePicker1->setFocus();
    ASSERT_TRUE(ui->DateTimePicker1->hasFocus());
    QTest::keyClick(ui->DateTimePicker1, Qt::Key_Tab);
    EXPECT_TRUE(ui->Edit1->hasFocus());
    QTest::keyClick(ui->Edit1, Qt::Key_Backtab);
    EXPECT_TRUE(ui->DateTimePicker1->hasFocus());
}

TEST_F(Editor, EditsNeverKeepALineBreak) {
    start({});
    ui->ToolButton1->trigger();
    ui->Edit1->insert(u"a\r\nb\nc"_s);
    EXPECT_EQ(ui->Edit1->text(), u"abc");
}

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public Q_SLOTS:
    void open(const QUrl& url) { opened += url; }
};

TEST_F(Editor, OpensOnlyWebAddresses) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"http"_s, &catcher, "open");
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    start({line(u"partner.example.com/links.html"), line(u"https://secure.example.com/"),
           line(u"javascript:alert(1)"), line(u"")});
    for (int row = 0; row < 4; ++row) {
        ui->ListBox1->selectionModel()->setCurrentIndex(form->records()->index(row),
                                                        QItemSelectionModel::NoUpdate);
        ui->N1->trigger();
    }
    QDesktopServices::unsetUrlHandler(u"http"_s);
    QDesktopServices::unsetUrlHandler(u"https"_s);
    EXPECT_EQ(catcher.opened, (QList<QUrl>{QUrl(u"http://partner.example.com/links.html"_s),
                                           QUrl(u"https://secure.example.com/"_s)}));
}

TEST_F(Editor, OutgoingLinksWindow) {
    test::RawServer server([](const test::RawServer::Connection& c) {
        if (test::requestTarget(c.request).startsWith("/slow")) {
            c.pause(60000);
            return;
        }
        const QByteArray body =
            "<a href=http://b.example.net/><a href=http://a.example.net/>"
            "<a href=http://b.example.net/><a href=http://B.example.net/>";
        c.send(test::httpResponse("200 OK", body));
    });
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    const QString slow = base + u"/slow?" + QString(300, u'x') + u"&end";
    start({line(u"NIL"), BuildRecordLine(base + u"/page", {}, {}, QDate(), {}, {}, {}, {}),
           line(u"127.0.0.1:1/closed"), BuildRecordLine(slow, {}, {}, QDate(), {}, {}, {}, {})});
    QStringList shown;
    answer = [&](QDialog& dialog) {
        if (auto* links = qobject_cast<TForm3*>(&dialog)) {
            shown += links->RichEdit1->toPlainText();
            return int(QDialog::Accepted);
        }
        return dialog.exec();  // the busy dialog: wait for the download
    };
    for (int row = 0; row < 3; ++row) {
        ui->ListBox1->selectionModel()->setCurrentIndex(form->records()->index(row),
                                                        QItemSelectionModel::NoUpdate);
        ui->N3->trigger();
    }
    EXPECT_EQ(shown,
              (QStringList{u""_s, u"http://a.example.net/\nhttp://b.example.net/\n"_s, u""_s}));
    EXPECT_EQ(server.requests().size(), 1) << "NIL downloads nothing";

    // Cancelling a slow download shows nothing. The busy dialog says what it
    // waits for, the address shortened in its middle.
    QStringList busyTexts;
    answer = [&](QDialog& dialog) {
        if (qobject_cast<TForm3*>(&dialog)) {
            shown += u"window"_s;
        }
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            busyTexts += label->text();
        }
        return int(QDialog::Rejected);
    };
    ui->ListBox1->selectionModel()->setCurrentIndex(form->records()->index(3),
                                                    QItemSelectionModel::NoUpdate);
    ui->N3->trigger();
    EXPECT_EQ(shown.size(), 3);
    ASSERT_EQ(busyTexts.size(), 2);
    EXPECT_EQ(busyTexts.at(0), u"Загрузка страницы партнера…");
    EXPECT_TRUE(busyTexts.at(1).startsWith(u"127.0.0.1:")) << busyTexts.at(1).toStdString();
    EXPECT_TRUE(busyTexts.at(1).endsWith(u"&end"));
    EXPECT_TRUE(busyTexts.at(1).contains(u'…'));
    EXPECT_LT(busyTexts.at(1).size(), slow.size());
}

TEST_F(Editor, ProjectFiles) {
    start({line(u"a"), line(u"b")});
    test::TempDir other;
    const QString project = other.path(u"project"_s);
    const QString before = QDir::currentPath();
    answer = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) {
            return int(QDialog::Rejected);
        }
        QDir::setCurrent(other.path(QString()));  // what a dialog may do
        files->selectFile(files->acceptMode() == QFileDialog::AcceptSave ? project
                                                                         : project + u".qvp");
        return int(QDialog::Accepted);
    };
    ui->ToolButton4->trigger();
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(readRecordFile(project + u".qvp").records, lines()) << "saved with .qvp added";

    // A failed load keeps the list, its markers and the count.
    form->records()->setRecords({line(u"x")});
    form->MarkersShown = true;
    QFile::remove(project + u".qvp");
    ui->ToolButton2->trigger();
    EXPECT_EQ(messages, QStringList{u"Не удалось загрузить файл проекта"_s});
    EXPECT_EQ(lines(), QStringList{line(u"x")});
    EXPECT_TRUE(form->MarkersShown);

    ASSERT_TRUE(writeRecordFile(project + u".qvp", {line(u"p"), line(u"q"), line(u"r")}));
    ui->ToolButton2->trigger();
    EXPECT_EQ(lines().size(), 3);
    EXPECT_FALSE(form->MarkersShown);
    EXPECT_EQ(ui->StatusPanel0->text(), u" всего элементов: 3");
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 0);
    EXPECT_EQ(QDir::currentPath(), before);

    // The data file still goes to the start-up directory.
    form->close();
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records.size(), 3);
}

// Keys for the commands used most: F5 runs a check and a second F5 asks it
// to stop, Ctrl+S and Ctrl+O save and load, Insert opens the editor for a
// new record, and Enter in a field presses the button that shows.
TEST_F(Editor, KeysForTheCommands) {
    test::RawServer server(test::partnerPages());
    start({test::recordLine(u"127.0.0.1:%1/never"_s.arg(server.port())), line(u"b")});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QStringList dialogs;
    answer = [&dialogs](QDialog& dialog) {
        dialogs += dialog.objectName();
        return int(QDialog::Rejected);
    };
    QTest::keyClick(ui->ListBox1, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(ui->ListBox1, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, (QStringList{u"SaveDialog1"_s, u"OpenDialog1"_s}));

    QTest::keyClick(ui->ListBox1, Qt::Key_F5);
    EXPECT_EQ(form->checkRun().state(), CheckRun::State::Running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }));
    QTest::keyClick(ui->ListBox1, Qt::Key_F5);
    EXPECT_EQ(form->checkRun().state(), CheckRun::State::Stopping);
    QTest::keyClick(ui->ListBox1, Qt::Key_F5);  // a third press cuts the download off, as a click
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->checkRun().state() == CheckRun::State::Idle; }));

    QTest::keyClick(ui->ListBox1, Qt::Key_Insert);
    ASSERT_TRUE(ui->Panel1->isVisible());
    EXPECT_TRUE(ui->Button2->isVisible()) << "add mode";
    ui->Edit1->setFocus();
    QTest::keyClicks(ui->Edit1, u"typed.example.com"_s);
    QTest::keyClick(ui->Edit1, Qt::Key_Return);
    ASSERT_EQ(lines().size(), 3);
    EXPECT_EQ(ExtractField(lines().last(), QChar(u'U')), u"typed.example.com");
    QTest::keyClick(ui->Button3, Qt::Key_Return);
    EXPECT_EQ(lines().size(), 3) << "Enter on a button is the button's";

    click(1);
    ui->ToolButton5->trigger();
    ui->Edit7->setText(u"notes"_s);
    QTest::keyClick(ui->DateTimePicker1, Qt::Key_Enter);
    EXPECT_EQ(lines().size(), 3);
    EXPECT_EQ(ExtractField(lines().at(1), QChar(u'7')), u"notes") << "applied";
}

}  // namespace
}  // namespace quorvel

#include "editor_test.moc"
