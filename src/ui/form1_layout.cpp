// The main window's controls: toolbar, editor panel, banner area, status bar
// and the list's context menu, with their sizes, captions and hints.
#include <QToolButton>
#include <QValidator>

#include "records/record_line.h"
#include "ui/form1.h"

namespace quorvel {

namespace {

QFrame* bevelledFrame(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return panel;
}

QLabel* captionAt(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
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

QLineEdit* editAt(QWidget* parent, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new NoLineBreaks(edit));
    edit->setGeometry(x, y, width, 21);
    // A hint follows the edit's text.
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [edit](const QString& text) { setHint(edit, text); });
    return edit;
}

}  // namespace

const QString kCheckButtonHint = QStringLiteral(
    "проверить наличие ссылок на сайте партнеров:\r\n"
    "зеленый - ссылка есть\r\n"
    "серый - ссылки нет\r\n"
    "красный - ссылка не индексируется\r\n"
    "бордовый - не удалось загрузить страницу партнера\r\n"
    "цифры слева - количество исходящих ссылок на странице партнера\r\n"
    "жирный шрифт - количество исходящих ссылок на странице партнера превышает максимальное");

const QString kAdvertisementHint = QStringLiteral(
    "Quorvel Positions - позиции вашего сайта в поисковых системах\r\n"
    "проверяет, на каком месте выдачи стоят ваши страницы по нужным запросам\r\n"
    "следит за изменениями позиций день за днем\r\n"
    "щелкните, чтобы узнать больше");

void TForm1::buildToolbar() {
    ToolBar1 = new QToolBar(Panel2);
    ToolBar1->setGeometry(3, 3, 2000, 35);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    auto button = [this](int picture, const QString& hint) {
        QAction* action = ToolBar1->addAction(ImageList1.value(picture), QString());
        setHint(action, hint);
        if (auto* widget = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            widget->setFixedSize(31, 30);
            widget->setAutoRaise(true);
        }
        return action;
    };
    auto separator = [this] {
        auto* gap = new QWidget(ToolBar1);
        gap->setFixedSize(8, 30);
        ToolBar1->addWidget(gap);
        return gap;
    };
    ToolButton4 = button(3, QStringLiteral("сохранить файл проекта"));
    ToolButton2 = button(2, QStringLiteral("загрузить файл проекта"));
    ToolButton9 = separator();
    ToolButton1 = button(1, QStringLiteral("добавить запись"));
    ToolButton5 = button(5, QStringLiteral("редактировать запись"));
    ToolButton8 = separator();
    ToolButton3 = button(6, kCheckButtonHint);
    ToolButton7 = separator();
    ToolButton6 = button(4, QStringLiteral("о программе"));
    connect(ToolButton3, &QAction::triggered, this, [this] { ToolButton3Click(); });
    connect(ToolButton6, &QAction::triggered, this, [this] { ToolButton6Click(); });
}

void TForm1::buildEditor() {
    // Three rows of a caption above a control; labels at 6, 52 and 98
    // pixels from the top, controls at 25, 71 and 117.
    Label1 = captionAt(Panel1, QStringLiteral("страница партнера"), 16, 6);
    Edit1 = editAt(Panel1, 16, 25, 249);
    Label3 = captionAt(Panel1, QStringLiteral("icq партнера"), 281, 6);
    Edit2 = editAt(Panel1, 281, 25, 200);
    Label2 = captionAt(Panel1, QStringLiteral("должен установить до"), 500, 6);
    DateTimePicker1 = new QDateEdit(QDate(2010, 10, 20), Panel1);
    DateTimePicker1->setGeometry(500, 25, 173, 21);
    DateTimePicker1->setDisplayFormat(RecordDateFormat());
    DateTimePicker1->setCalendarPopup(true);
    Button3 = new QPushButton(QStringLiteral("закрыть"), Panel1);
    Button3->setGeometry(686, 25, 83, 21);

    Label7 = captionAt(Panel1, QStringLiteral("ваша ссылка на странице партнера"), 16, 52);
    Edit6 = editAt(Panel1, 16, 71, 249);
    Label4 = captionAt(Panel1, QStringLiteral("e-mail партнера"), 281, 52);
    Edit3 = editAt(Panel1, 281, 71, 200);
    Label8 = captionAt(Panel1, QStringLiteral("дополнительно"), 500, 52);
    Edit7 = editAt(Panel1, 500, 71, 173);
    Button1 = new QPushButton(QStringLiteral("применить"), Panel1);
    Button1->setGeometry(686, 71, 83, 21);
    Button1->hide();
    Button2 = new QPushButton(QStringLiteral("добавить"), Panel1);
    Button2->setGeometry(686, 71, 83, 21);
    Button2->hide();

    Label10 = captionAt(Panel1, QStringLiteral("ваша страница со ссылкой партнера"), 16, 98);
    Edit4 = editAt(Panel1, 16, 117, 249);
    Label9 = captionAt(
        Panel1, QStringLiteral("максимальное количество исходящих ссылок на странице партнера"),
        281, 98);
    Edit5 = editAt(Panel1, 281, 117, 392);
    Edit5->setText(QStringLiteral("5"));

    QWidget* order[] = {DateTimePicker1, Edit1, Edit2,   Edit3,   Edit4,  Edit5,
                        Edit6,           Edit7, Button1, Button2, Button3};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void TForm1::buildBannerArea() {
    auto banner = [this](int x) {
        QFrame* frame = bevelledFrame(Panel3);
        frame->setGeometry(x, 6, 480, 65);
        auto* image = new ClickableLabel(frame);
        image->setGeometry(2, 2, 476, 61);
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->setCursor(Qt::PointingHandCursor);
        return std::pair{frame, image};
    };
    std::tie(Panel4, Image1) = banner(5);
    std::tie(Panel5, Image2) = banner(490);
    Image1->setPixmap(QPixmap(QStringLiteral(":/quorvel/advertisement.png")));
    setHint(Image1, kAdvertisementHint);
    connect(Image1, &ClickableLabel::clicked, this, [this] { Image1Click(); });
    connect(Image2, &ClickableLabel::clicked, this, [this] { Image2Click(); });
}

void TForm1::buildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setFixedHeight(19);
    auto panel = [this](int width) {
        auto* label = new QLabel(StatusBar1);
        label->setTextFormat(Qt::PlainText);  // remote text shows as it is
        label->setFixedWidth(width);
        StatusBar1->addWidget(label);
        return label;
    };
    StatusPanel0 = panel(187);
    StatusPanel1 = panel(287);
}

void TForm1::buildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    N1 = PopupMenu1->addAction(QStringLiteral("открыть страницу партнера в браузере"));
    N3 = PopupMenu1->addAction(QStringLiteral("список исходящих ссылок на странице партнера"));
    N2 = PopupMenu1->addAction(QStringLiteral("убрать цветовые маркеры"));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
}

}  // namespace quorvel
