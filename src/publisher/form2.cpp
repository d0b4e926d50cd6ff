#include "publisher/form2.h"

#include <QPixmap>

static void initPublisherResources() {
    Q_INIT_RESOURCE(publisher);
}

namespace quorvel {

namespace {

ClickableLabel* linkLabel(QWidget* parent, const QString& text, int top) {
    auto* label = new ClickableLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));  // navy, no underline
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->move(16, top);
    label->adjustSize();
    return label;
}

}  // namespace

TForm2::TForm2(QWidget* owner, PublisherSites sites) : QDialog(owner), sites_(std::move(sites)) {
    initPublisherResources();
    setWindowTitle(QStringLiteral("О программе"));
    // A fixed dialog frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    if (owner) {
        setFont(owner->font());
    }
    setFixedSize(418, 286);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 8, 401, 105);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/quorvel/logo.png")));

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(8, 120, 401, 129);
    Label3 = new QLabel(QStringLiteral("ver 1.00"), GroupBox1);
    QFont big = font();
    big.setPixelSize(19);
    Label3->setFont(big);
    Label3->move(16, 16);
    Label3->adjustSize();
    Label1 = linkLabel(GroupBox1, u"автор идеи (+ помощь в разработке) - " + sites_.ideaAuthor, 45);
    Label2 = linkLabel(GroupBox1, u"разработчик - " + sites_.developer, 64);
    Label4 = linkLabel(GroupBox1, QStringLiteral("скачать последнюю версию программы"), 83);
    Label5 = linkLabel(GroupBox1, QStringLiteral("страница программы"), 102);

    Button1 = new QPushButton(QStringLiteral("закрыть"), this);
    Button1->setGeometry(335, 255, 75, 25);

    connect(Label1, &ClickableLabel::clicked, this, [this] { Label1Click(); });
    connect(Label2, &ClickableLabel::clicked, this, [this] { Label2Click(); });
    connect(Label4, &ClickableLabel::clicked, this, [this] { Label4Click(); });
    connect(Label5, &ClickableLabel::clicked, this, [this] { Label5Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm2::Label1Click() {
    openWebAddress(sites_.ideaAuthor);
}
void TForm2::Label2Click() {
    openWebAddress(sites_.developer);
}
void TForm2::Label4Click() {
    openWebAddress(sites_.developer + u"/?p=1575");
}
void TForm2::Label5Click() {
    openWebAddress(sites_.programPage());
}
void TForm2::Button1Click() {
    accept();
}

}  // namespace quorvel
