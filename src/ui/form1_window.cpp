// The main window: construction, start-up, showing and closing.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QScreen>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

#include "ui/form1.h"

// The pictures live in this static library; its resources need an explicit start.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quorvel {

namespace {

VendorSites& vendorSites() {
    static VendorSites sites;
    return sites;
}

std::function<void()>& processEnd() {
    // Closing ends the process at once: workers of a check run and the banner
    // thread may be blocked on a call to this thread and are not waited for.
    static std::function<void()> end = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    return end;
}

// Hints appear as soon as the pointer rests on a control.
class NoHintDelayStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Tahoma, 11 pixels: the system's own if it has one, else the copy of Wine's
// font package, else a sans-serif with Cyrillic chosen by the font system.
QFont windowFont() {
    static const bool known = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
            return true;
        }
        return QFontDatabase::addApplicationFont(
                   QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")) >= 0;
    }();
    Q_UNUSED(known);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFrame* bevelledPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

}  // namespace

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) {
        return QString();  // no text, no hint
    }
    // Escaped and kept as typed: markup characters show as themselves.
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    return u"<p style='white-space:pre'>" + html + u"</p>";
}

void setHint(QObject* target, const QString& text) {
    target->setProperty("hint", text);
    target->setProperty("toolTip", plainToolTip(text));  // QWidget and QAction alike
}

TForm1::TForm1(const QString& directory, QWidget* parent)
    : QMainWindow(parent),
      directory_(directory.isEmpty() ? QDir::currentPath() : directory),
      model_(new RecordListModel(this)),
      sites_(vendorSites()) {
    initResources();
    setWindowTitle(QStringLiteral("Quorvel"));
    setFont(windowFont());
    for (int i = 0; i < 7; ++i) {
        ImageList1 += QIcon(QStringLiteral(":/quorvel/toolbar%1.png").arg(i));
    }

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    Panel2 = bevelledPanel(central);
    Panel2->setFixedHeight(41);
    column->addWidget(Panel2);
    buildToolbar();

    Panel1 = bevelledPanel(central);
    Panel1->setFixedHeight(160);
    column->addWidget(Panel1);
    buildEditor();
    Panel1->hide();

    auto* headerModel = new QStandardItemModel(0, kSectionCount, this);
    headerModel->setHorizontalHeaderLabels(
        {QStringLiteral("страница партнера"), QStringLiteral("ваша ссылка"), QStringLiteral("дата"),
         QStringLiteral("icq"), QStringLiteral("e-mail"), QStringLiteral("ваша страница"),
         QStringLiteral("максимальное количество"), QStringLiteral("дополнительно")});
    HeaderControl1 = new QHeaderView(Qt::Horizontal, central);
    HeaderControl1->setModel(headerModel);
    HeaderControl1->setFixedHeight(17);
    HeaderControl1->setMinimumSectionSize(kMinSectionWidth);
    HeaderControl1->setMaximumSectionSize(kMaxSectionWidth);
    HeaderControl1->setSectionResizeMode(QHeaderView::Interactive);
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setSectionsClickable(false);
    HeaderControl1->setHighlightSections(false);
    HeaderControl1->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    HeaderControl1->setFrameShape(QFrame::NoFrame);
    column->addWidget(HeaderControl1);

    run_ = std::make_unique<CheckRun>(*this);
    IdHTTP1 =
        std::make_unique<HttpClient>("Mozilla/3.0 (compatible; Indy Library)", FetchSettings{});
    ListBox1 = new RecordListView(central);
    ListBox1->setModel(model_);
    ListBox1->setItemDelegate(new RecordDelegate(
        HeaderControl1, RowMarkers{&run_->results(), &run_->MarkersShown}, ListBox1));
    column->addWidget(ListBox1, 1);

    Panel3 = bevelledPanel(central);
    Panel3->setFixedHeight(77);
    column->addWidget(Panel3);
    buildBannerArea();
    buildStatusBar();
    buildPopupMenu();
    buildDialogs();
    connectEditor();

    connect(HeaderControl1, &QHeaderView::sectionResized, this,
            [this] { HeaderControl1SectionResize(); });
    connect(ListBox1, &RecordListView::contextMenuWanted, this,
            [this](const QPoint& at) { PopupMenu1->popup(at); });

    resize(kClientWidth, kClientHeight);
    FormCreate();
}

void TForm1::setVendorSitesForTests(const VendorSites& sites) {
    vendorSites() = sites;
}

TForm1::~TForm1() {
    // The banner thread only posts to this window; it never waits for it.
    if (bannerThread_.joinable()) {
        bannerThread_.join();
    }
}

void TForm1::setFetchSettingsForTests(const FetchSettings& settings) {
    fetchSettings_ = settings;
    run_->setFetchSettings(settings);
}

void TForm1::setProcessEndForTests(std::function<void()> end) {
    processEnd() = std::move(end);
}

ColumnWidths TForm1::columnWidths() const {
    ColumnWidths widths{};
    for (int i = 0; i < kSectionCount; ++i) {
        widths[size_t(i)] = HeaderControl1->sectionSize(i);
    }
    return widths;
}

void TForm1::setColumnWidths(const ColumnWidths& widths) {
    for (int i = 0; i < kSectionCount; ++i) {
        HeaderControl1->resizeSection(i, clampSectionWidth(widths[size_t(i)]));
    }
}

void TForm1::FormCreate() {
    QApplication::setStyle(new NoHintDelayStyle(QApplication::style()->name()));
    dataFile_ = std::make_unique<DataFile>(
        QDir(directory_).absoluteFilePath(QString::fromUtf16(kDataFileName)));
    QStringList loaded;
    dataFile_->load(&loaded);
    model_->setRecords(std::move(loaded));
    if (model_->rowCount() > 0) {
        // The list always has a focus row when it is not empty.
        ListBox1->selectionModel()->setCurrentIndex(model_->index(0),
                                                    QItemSelectionModel::NoUpdate);
    }
    BannerLink.clear();
    lbcount();
    run_->MarkersShown = false;
    // The width of the list in the restored window, whatever Qt reports
    // before the first show.
    ColumnWidths widths = defaultColumnWidths(kClientWidth);
    readColumnWidths(QDir(directory_).absoluteFilePath(QString::fromUtf16(kWidthFileName)), widths);
    setColumnWidths(widths);
}

void TForm1::showAtStart() {
    // Restored, the window stands centred on the desktop; it opens maximised.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), QSize(kClientWidth, kClientHeight));
        area.moveCenter(screen->availableGeometry().center());
        setGeometry(area);
    }
    showMaximized();
    applyOuterMinimum();
    FormShow();
}

void TForm1::applyOuterMinimum() {
    // The smallest size is an outer size: the frame is taken off it once the
    // window system has told how wide the frame is.
    const int frameWidth = frameGeometry().width() - geometry().width();
    const int frameHeight = frameGeometry().height() - geometry().height();
    const QSize minimum(kMinOuterWidth - frameWidth, kMinOuterHeight - frameHeight);
    if (minimumSize() != minimum) {
        setMinimumSize(minimum);
    }
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (isVisible()) {
        applyOuterMinimum();
    }
}

void TForm1::FormShow() {
    if (model_->rowCount() > 0) {
        ListBox1->selectionModel()->setCurrentIndex(model_->index(0),
                                                    QItemSelectionModel::ClearAndSelect);
    }
    if (!bannerThread_.joinable()) {
        bannerThread_ = std::thread([this] { loaddata(*IdHTTP1, *this, sites_).run(); });
    }
}

void TForm1::setBannerPicture(const QImage& picture) {
    Image2->setPixmap(QPixmap::fromImage(picture));
}

void TForm1::setBannerHint(const QString& hint) {
    setHint(Image2, hint);
}

void TForm1::setBannerLink(const QString& link) {
    BannerLink = link;
}

void TForm1::setLaunchCount(const QString& text) {
    StatusPanel1->setText(text);
}

// The banner thread's end leaves the check button alone: only the workers
// of a run decide when it turns idle.
void TForm1::bannerThreadEnded() {
    bannerThreadEnded_ = true;
}

void TForm1::Image1Click() {
    openWebAddress(sites_.vendor + u"/?p=600");
}

void TForm1::Image2Click() {
    openWebAddress(BannerLink.isEmpty() ? sites_.ideaAuthor : BannerLink);
}

void TForm1::FormClose() {
    dataFile_->save(model_->records());
    writeColumnWidths(QDir(directory_).absoluteFilePath(QString::fromUtf16(kWidthFileName)),
                      columnWidths());
}

void TForm1::closeNow() {
    if (closing_) {
        return;
    }
    closing_ = true;
    FormClose();
    processEnd()();
}

void TForm1::closeEvent(QCloseEvent* event) {
    closeNow();
    event->accept();
}

void TForm1::lbcount() {
    StatusPanel0->setText(u" всего элементов: " + QString::number(model_->rowCount()));
}

void TForm1::ToolButton6Click() {
    if (Form2) {
        Form2->exec();
    }
}

int TForm1::recordCount() const {
    return model_->rowCount();
}

QString TForm1::recordAt(int index) const {
    return model_->records().at(index);
}

}  // namespace quorvel
