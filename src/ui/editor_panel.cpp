#include "ui/editor_panel.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QValidator>

#include "records/record_line.h"
#include "ui/hints.h"
#include "ui/window_words.h"

namespace quorvel {

namespace {

QLabel* captionAt(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Single-line edits never keep a line break, typed or pasted.
class NoLineBreaks : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const qsizetype before = input.size();
        input.remove(u'\r');
        input.remove(u'\n');
        pos = qMax(0, pos - int(before - input.size()));
        return Acceptable;
    }
};

QLineEdit* editAt(QWidget* parent, const char* name, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1StringView(name));
    edit->setValidator(new NoLineBreaks(edit));
    edit->setGeometry(x, y, width, 21);
    // A hint follows the edit's text.
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [edit](const QString& text) { setHint(edit, text); });
    return edit;
}

// The deadline picker: Tab leaves it in one press (its day, month and year
// are reached with the arrow keys), and its calendar names months and days
// in Russian. The date format itself follows the user's locale.
class DatePicker : public QDateEdit {
  public:
    DatePicker(QDate date, QWidget* parent) : QDateEdit(date, parent) {
        setCalendarPopup(true);
        calendarWidget()->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    }

  protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

QPushButton* buttonAt(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setGeometry(x, y, 83, 21);
    return button;
}

}  // namespace

EditorPanel::EditorPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setFixedHeight(160);

    // Three rows of a caption above a control; labels at 6, 52 and 98
    // pixels from the top, controls at 25, 71 and 117.
    Label1 = captionAt(this, "Label1", editorCaption(0), 16, 6);
    Edit1 = editAt(this, "Edit1", 16, 25, 249);
    Label3 = captionAt(this, "Label3", editorCaption(1), 281, 6);
    Edit2 = editAt(this, "Edit2", 281, 25, 200);
    Label2 = captionAt(this, "Label2", editorCaption(3), 500, 6);
    DateTimePicker1 = new DatePicker(QDate(2010, 10, 20), this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setGeometry(500, 25, 173, 21);
    DateTimePicker1->setDisplayFormat(recordDateFormat());
    const EditorWords& words = editorWords();
    Button3 = buttonAt(this, "Button3", words.close, 686, 25);

    Label7 = captionAt(this, "Label7", editorCaption(6), 16, 52);
    Edit6 = editAt(this, "Edit6", 16, 71, 249);
    Label4 = captionAt(this, "Label4", editorCaption(2), 281, 52);
    Edit3 = editAt(this, "Edit3", 281, 71, 200);
    Label8 = captionAt(this, "Label8", editorCaption(7), 500, 52);
    Edit7 = editAt(this, "Edit7", 500, 71, 173);
    Button1 = buttonAt(this, "Button1", words.apply, 686, 71);
    Button1->hide();
    Button2 = buttonAt(this, "Button2", words.add, 686, 71);
    Button2->hide();

    Label10 = captionAt(this, "Label10", editorCaption(4), 16, 98);
    Edit4 = editAt(this, "Edit4", 16, 117, 249);
    Label9 = captionAt(this, "Label9", editorCaption(5), 281, 98);
    Edit5 = editAt(this, "Edit5", 281, 117, 392);
    Edit5->setText(QStringLiteral("5"));

    QWidget* order[] = {DateTimePicker1, Edit1, Edit2,   Edit3,   Edit4,  Edit5,
                        Edit6,           Edit7, Button1, Button2, Button3};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }

    // The fields, not the buttons: Enter on a button is the button's own.
    for (QWidget* field : {static_cast<QWidget*>(DateTimePicker1), static_cast<QWidget*>(Edit1),
                           static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Edit3),
                           static_cast<QWidget*>(Edit4), static_cast<QWidget*>(Edit5),
                           static_cast<QWidget*>(Edit6), static_cast<QWidget*>(Edit7)}) {
        field->installEventFilter(this);
    }
    for (QLineEdit* inner : DateTimePicker1->findChildren<QLineEdit*>()) {
        inner->installEventFilter(this);
    }

    connect(Button1, &QPushButton::clicked, this, &EditorPanel::applyClicked);
    connect(Button2, &QPushButton::clicked, this, &EditorPanel::addClicked);
    connect(Button3, &QPushButton::clicked, this, &EditorPanel::closeClicked);
}

QString EditorPanel::recordLine() const {
    return BuildRecordLine(Edit1->text(), Edit2->text(), Edit3->text(), DateTimePicker1->date(),
                           Edit4->text(), Edit5->text(), Edit6->text(), Edit7->text());
}

void EditorPanel::showRecord(const QString& line) {
    QLineEdit* edits[] = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7};
    const char16_t codes[] = {u'U', u'I', u'E', u'4', u'5', u'6', u'7'};
    for (int i = 0; i < 7; ++i) {
        edits[i]->setText(ExtractField(line, QChar(codes[i])));
    }
    if (const std::optional<QDate> date = ParseRecordDate(ExtractField(line, QChar(u'D')))) {
        DateTimePicker1->setDate(*date);  // a date the picker refuses leaves it as it was
    }
}

void EditorPanel::startAdding() {
    show();
    Button1->hide();
    Button2->show();
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) {
        edit->clear();
    }
    Edit5->setText(QStringLiteral("5"));
    Edit6->clear();
    Edit7->clear();
}

void EditorPanel::startEditing() {
    show();
    Button1->show();
    Button2->hide();
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7}) {
        edit->clear();
    }
}

void EditorPanel::setApplyEnabled(bool enabled) {
    Button1->setEnabled(enabled);
}

bool EditorPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (Button2->isVisible()) {
                Button2->click();
            } else if (Button1->isVisible() && Button1->isEnabled()) {
                Button1->click();
            }
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace quorvel
