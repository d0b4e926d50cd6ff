// The main window's controls: toolbar, banner area, status bar and the
// list's context menu, with their sizes, captions and hints.
#include <QToolButton>

#include "history/history_words.h"
#include "ui/form1.h"

namespace quorvel {

namespace {

QFrame* bevelledFrame(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return panel;
}

}  // namespace

const QString kAdvertisementHint = QStringLiteral(
    "Quorvel Positions - позиции вашего сайта в поисковых системах\r\n"
    "проверяет, на каком месте выдачи стоят ваши страницы по нужным запросам\r\n"
    "следит за изменениями позиций день за днем\r\n"
    "щелкните, чтобы узнать больше");

void TForm1::buildToolbar() {
    ToolBar1 = new QToolBar(Panel2);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(3, 3, 2000, 35);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    auto button = [this](const char* name, int picture, const QString& hint) {
        QAction* action = ToolBar1->addAction(ImageList1.value(picture), QString());
        action->setObjectName(QLatin1StringView(name));
        setHint(action, hint);
        if (auto* widget = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            widget->setFixedSize(31, 30);
            widget->setAutoRaise(true);
        }
        return action;
    };
    auto separator = [this](const char* name) {
        auto* gap = new QWidget(ToolBar1);
        gap->setObjectName(QLatin1StringView(name));
        gap->setFixedSize(8, 30);
        ToolBar1->addWidget(gap);
        return gap;
    };
    ToolButton4 = button("ToolButton4", 3, QStringLiteral("сохранить файл проекта"));
    ToolButton2 = button("ToolButton2", 2, QStringLiteral("загрузить файл проекта"));
    ToolButton9 = separator("ToolButton9");
    ToolButton1 = button("ToolButton1", 1, QStringLiteral("добавить запись"));
    ToolButton5 = button("ToolButton5", 5, QStringLiteral("редактировать запись"));
    ToolButton8 = separator("ToolButton8");
    ToolButton3 = button("ToolButton3", 6, QString());
    runStateChanged();  // the idle picture and hint
    ToolButton7 = separator("ToolButton7");
    ToolButton6 = button("ToolButton6", 4, QStringLiteral("о программе"));
    // Keys for the commands a user reaches for most.
    ToolButton3->setShortcut(QKeySequence(Qt::Key_F5));
    ToolButton4->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ToolButton2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ToolButton1->setShortcut(QKeySequence(Qt::Key_Insert));
    // Beyond the program's first buttons, always to their right.
    OverviewButton =
        button("OverviewButton", -1,
               QStringLiteral("обзор партнеров: состояние ссылок по истории проверок"));
    OverviewButton->setIcon(QIcon(QStringLiteral(":/quorvel/overview.png")));
    OverviewButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(OverviewButton, &QAction::triggered, this, [this] { OverviewButtonClick(); });
    ImportButton = button("ImportButton", -1,
                          QStringLiteral("импорт партнеров из таблицы (CSV, TSV, XLSX) или из "
                                         "буфера обмена"));
    ImportButton->setIcon(QIcon(QStringLiteral(":/quorvel/import.png")));
    ExportButton = button("ExportButton", -1,
                          QStringLiteral("экспорт списка и результатов проверки в таблицу"));
    ExportButton->setIcon(QIcon(QStringLiteral(":/quorvel/export.png")));
    ScheduleButton = button("ScheduleButton", -1,
                            QStringLiteral("расписание проверок: проверять список и без окна "
                                           "программы и присылать изменения"));
    ScheduleButton->setIcon(QIcon(QStringLiteral(":/quorvel/schedule.png")));
    connect(ScheduleButton, &QAction::triggered, this, [this] { ScheduleButtonClick(); });
    connect(ToolButton3, &QAction::triggered, this, [this] { ToolButton3Click(); });
    connect(ToolButton6, &QAction::triggered, this, [this] { ToolButton6Click(); });
}

void TForm1::buildBannerArea() {
    auto banner = [this](const char* frameName, const char* imageName, int x) {
        QFrame* frame = bevelledFrame(Panel3);
        frame->setObjectName(QLatin1StringView(frameName));
        frame->setGeometry(x, 6, 480, 65);
        auto* image = new ClickableLabel(frame);
        image->setObjectName(QLatin1StringView(imageName));
        image->setGeometry(2, 2, 476, 61);
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->setCursor(Qt::PointingHandCursor);
        return std::pair{frame, image};
    };
    std::tie(Panel4, Image1) = banner("Panel4", "Image1", 5);
    std::tie(Panel5, Image2) = banner("Panel5", "Image2", 490);
    Image1->setPixmap(QPixmap(QStringLiteral(":/quorvel/advertisement.png")));
    setHint(Image1, kAdvertisementHint);
    connect(Image1, &ClickableLabel::clicked, this, [this] { Image1Click(); });
    connect(Image2, &ClickableLabel::clicked, this, [this] { Image2Click(); });
}

void TForm1::buildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    auto panel = [this](const char* name, int width) {
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QLatin1StringView(name));
        label->setTextFormat(Qt::PlainText);  // remote text shows as it is
        label->setFixedWidth(width);
        StatusBar1->addWidget(label);
        return label;
    };
    StatusPanel0 = panel("StatusPanel0", 187);
    StatusPanel1 = panel("StatusPanel1", 287);
    // A run's progress and summary, in the rest of the bar.
    StatusPanel2 = new ClickableLabel(StatusBar1);
    StatusPanel2->setObjectName(QStringLiteral("StatusPanel2"));
    StatusPanel2->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(StatusPanel2, 1);
    connect(StatusPanel2, &ClickableLabel::clicked, this, [this] { StatusPanel2Click(); });
}

void TForm1::buildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("открыть страницу партнера в браузере"));
    N1->setObjectName(QStringLiteral("N1"));
    N3 = PopupMenu1->addAction(QStringLiteral("список исходящих ссылок на странице партнера"));
    N3->setObjectName(QStringLiteral("N3"));
    N2 = PopupMenu1->addAction(QStringLiteral("убрать цветовые маркеры"));
    N2->setObjectName(QStringLiteral("N2"));
    N4 = PopupMenu1->addAction(QStringLiteral("история проверок"));
    N4->setObjectName(QStringLiteral("N4"));
    RenderMenuItem = PopupMenu1->addAction(kRenderCommandText);
    RenderMenuItem->setObjectName(QStringLiteral("RenderMenuItem"));
    connect(RenderMenuItem, &QAction::triggered, this, [this] { RenderMenuItemClick(); });
    PopupMenu1->addSeparator();
    ImportMenuItem = PopupMenu1->addAction(QStringLiteral("импорт партнеров…"));
    ImportMenuItem->setObjectName(QStringLiteral("ImportMenuItem"));
    ExportMenuItem = PopupMenu1->addAction(QStringLiteral("экспорт…"));
    ExportMenuItem->setObjectName(QStringLiteral("ExportMenuItem"));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
}

}  // namespace quorvel
