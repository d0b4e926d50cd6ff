#pragma once

#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quorvel {

// The editor panel above the list: the fields of one record and the buttons
// that apply, add or close. It knows nothing of the list; the window's
// handlers decide what a button does.
class EditorPanel : public QFrame {
    Q_OBJECT
  public:
    explicit EditorPanel(QWidget* parent);

    // The record line the fields make.
    QString recordLine() const;
    // Fills the fields from a record line; a date that does not parse leaves
    // the picker as it was.
    void showRecord(const QString& line);
    // Opens the panel for a new record: empty fields, the maximum 5, "добавить".
    void startAdding();
    // Opens the panel for the current record: empty fields, "применить".
    void startEditing();
    void setApplyEnabled(bool enabled);

  protected:
    // Enter in a field presses the visible "добавить" or "применить".
    bool eventFilter(QObject* watched, QEvent* event) override;

  Q_SIGNALS:
    void applyClicked();  // Button1
    void addClicked();    // Button2
    void closeClicked();  // Button3

  private:
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QDateEdit* DateTimePicker1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
};

}  // namespace quorvel
