#include "ui/ui_helpers.h"

#include <QDate>

#include <gtest/gtest.h>

#include "records/record_line.h"
#include "ui/form1.h"

namespace quorvel::test {

QString recordLine(const QString& partnerUrl, const QString& yourLink, const QString& maximum,
                   const QString& notes) {
    return BuildRecordLine(partnerUrl, QString(), QString(), QDate(2010, 10, 21), QString(),
                           maximum, yourLink, notes);
}

RawServer::Handler partnerPages() {
    return [](const RawServer::Connection& c) {
        const QByteArray target = requestTarget(c.request);
        if (target.startsWith("/never")) {
            c.pause(60000);
        } else if (target == "/found") {
            c.send(httpResponse("200 OK", "<a href=http://me.example.com/>me</a>"));
        } else if (target == "/hidden") {
            c.send(httpResponse("200 OK", "<a href=http://me.example.com/ rel=nofollow>me</a>"));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    };
}

QObject* findNamed(const QObject* root, const char* name) {
    QObject* found = root->findChild<QObject*>(QLatin1StringView(name));
    EXPECT_NE(found, nullptr) << "no control named " << name;
    return found;
}

Controls::Controls(const QObject* form)
    : ListBox1(named<RecordListView>(form, "ListBox1")),
      HeaderControl1(named<QHeaderView>(form, "HeaderControl1")),
      Panel1(named<QWidget>(form, "Panel1")),
      StatusPanel0(named<QLabel>(form, "StatusPanel0")),
      StatusPanel1(named<QLabel>(form, "StatusPanel1")),
      ToolButton1(named<QAction>(form, "ToolButton1")),
      ToolButton2(named<QAction>(form, "ToolButton2")),
      ToolButton3(named<QAction>(form, "ToolButton3")),
      ToolButton4(named<QAction>(form, "ToolButton4")),
      ToolButton5(named<QAction>(form, "ToolButton5")),
      ToolButton6(named<QAction>(form, "ToolButton6")),
      PopupMenu1(named<QMenu>(form, "PopupMenu1")),
      N1(named<QAction>(form, "N1")),
      N2(named<QAction>(form, "N2")),
      N3(named<QAction>(form, "N3")),
      Image1(named<ClickableLabel>(form, "Image1")),
      Image2(named<ClickableLabel>(form, "Image2")),
      DateTimePicker1(named<QDateEdit>(form, "DateTimePicker1")),
      Edit1(named<QLineEdit>(form, "Edit1")),
      Edit2(named<QLineEdit>(form, "Edit2")),
      Edit3(named<QLineEdit>(form, "Edit3")),
      Edit4(named<QLineEdit>(form, "Edit4")),
      Edit5(named<QLineEdit>(form, "Edit5")),
      Edit6(named<QLineEdit>(form, "Edit6")),
      Edit7(named<QLineEdit>(form, "Edit7")),
      Button1(named<QPushButton>(form, "Button1")),
      Button2(named<QPushButton>(form, "Button2")),
      Button3(named<QPushButton>(form, "Button3")),
      OpenDialog1(named<QFileDialog>(form, "OpenDialog1")),
      SaveDialog1(named<QFileDialog>(form, "SaveDialog1")) {}

QuitCounter::QuitCounter() : hook(&TForm1::setQuitHookForTests, [this] { ++quits; }) {}

}  // namespace quorvel::test
