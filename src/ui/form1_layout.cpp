// The main window's controls: toolbar, banner area, status bar and the
// list's context menu, with their sizes, captions and hints.
#include <QToolButton>

#include "ui/form1.h"
#include "ui/window_words.h"

namespace quorvel {

namespace {

QFrame* bevelledFrame(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return panel;
}

}  // namespace

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
    const MainWindowWords& words = mainWindowWords();
    ToolButton4 = button("ToolButton4", 3, words.saveProjectHint);
    ToolButton2 = button("ToolButton2", 2, words.loadProjectHint);
    ToolButton9 = separator("ToolButton9");
    ToolButton1 = button("ToolButton1", 1, words.addRecordHint);
    ToolButton5 = button("ToolButton5", 5, words.editRecordHint);
    ToolButton8 = separator("ToolButton8");
    ToolButton3 = button("ToolButton3", 6, QString());
    runStateChanged();  // the idle picture and hint
    ToolButton7 = separator("ToolButton7");
    ToolButton6 = button("ToolButton6", 4, words.aboutHint);
    // Keys for the commands a user reaches for most.
    ToolButton3->setShortcut(QKeySequence(Qt::Key_F5));
    ToolButton4->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ToolButton2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ToolButton1->setShortcut(QKeySequence(Qt::Key_Insert));
    // Beyond the program's first buttons, always to their right.
    OverviewButton = button("OverviewButton", -1, words.overviewHint);
    OverviewButton->setIcon(QIcon(QStringLiteral(":/quorvel/overview.png")));
    OverviewButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(OverviewButton, &QAction::triggered, this, [this] { OverviewButtonClick(); });
    ImportButton = button("ImportButton", -1, words.importHint);
    ImportButton->setIcon(QIcon(QStringLiteral(":/quorvel/import.png")));
    ExportButton = button("ExportButton", -1, words.exportHint);
    ExportButton->setIcon(QIcon(QStringLiteral(":/quorvel/export.png")));
    ScheduleButton = button("ScheduleButton", -1, words.scheduleHint);
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
    setHint(Image1, mainWindowWords().advertisementHint);
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
    const MainWindowWords& words = mainWindowWords();
    N1 = PopupMenu1->addAction(words.openPartnerPage);
    N1->setObjectName(QStringLiteral("N1"));
    N3 = PopupMenu1->addAction(words.outgoingLinks);
    N3->setObjectName(QStringLiteral("N3"));
    N2 = PopupMenu1->addAction(words.removeMarkers);
    N2->setObjectName(QStringLiteral("N2"));
    N4 = PopupMenu1->addAction(words.checkHistory);
    N4->setObjectName(QStringLiteral("N4"));
    RenderMenuItem = PopupMenu1->addAction(kRenderCommandText);
    RenderMenuItem->setObjectName(QStringLiteral("RenderMenuItem"));
    connect(RenderMenuItem, &QAction::triggered, this, [this] { RenderMenuItemClick(); });
    PopupMenu1->addSeparator();
    ImportMenuItem = PopupMenu1->addAction(words.importCommand);
    ImportMenuItem->setObjectName(QStringLiteral("ImportMenuItem"));
    ExportMenuItem = PopupMenu1->addAction(words.exportCommand);
    ExportMenuItem->setObjectName(QStringLiteral("ExportMenuItem"));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
}

}  // namespace quorvel
