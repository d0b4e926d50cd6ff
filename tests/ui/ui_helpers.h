#pragma once

#include <QAction>
#include <QDateEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QString>

#include <functional>

#include "publisher/web_links.h"
#include "support/raw_server.h"
#include "ui/record_list.h"

namespace quorvel::test {

// A record line with the partner page, your link and the maximum.
QString recordLine(const QString& partnerUrl, const QString& yourLink = {},
                   const QString& maximum = QStringLiteral("5"), const QString& notes = {});

// Partner pages for runs from the window: /found carries a link to
// me.example.com, /hidden the same link with nofollow, /never… never answers
// and anything else is a 404.
RawServer::Handler partnerPages();

// The object named `name` below `root`; the test fails when there is none.
QObject* findNamed(const QObject* root, const char* name);
template <typename T>
T* named(const QObject* root, const char* name) {
    return qobject_cast<T*>(findNamed(root, name));
}

// The main window's controls as tests use them, found by their names.
struct Controls {
    explicit Controls(const QObject* form);

    RecordListView* ListBox1;
    QHeaderView* HeaderControl1;
    QWidget* Panel1;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QAction* ToolButton1;
    QAction* ToolButton2;
    QAction* ToolButton3;
    QAction* ToolButton4;
    QAction* ToolButton5;
    QAction* ToolButton6;
    QMenu* PopupMenu1;
    QAction* N1;
    QAction* N2;
    QAction* N3;
    ClickableLabel* Image1;
    ClickableLabel* Image2;
    QDateEdit* DateTimePicker1;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QFileDialog* OpenDialog1;
    QFileDialog* SaveDialog1;
};

// Puts a test hook of the window back when it goes out of scope, so that one
// test never leaks its hook into the next.
template <typename Value>
class ScopedHook {
  public:
    using Setter = Value (*)(Value);
    ScopedHook(Setter set, Value value) : set_(set), previous_(set(std::move(value))) {}
    ~ScopedHook() { set_(std::move(previous_)); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

  private:
    Setter set_;
    Value previous_;
};

// Counts how often a closed window ends the event loop, instead of ending it.
struct QuitCounter {
    QuitCounter();
    int quits = 0;
    ScopedHook<std::function<void()>> hook;
};

}  // namespace quorvel::test
