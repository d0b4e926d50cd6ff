// The main window: construction, start-up, showing and closing.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QScreen>
#include <QStandardItemModel>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>

#include "history/history_words.h"
#include "history/run_recording.h"
#include "ui/background_work.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/overview_model.h"

// The pictures live in this static library; its resources need an explicit start.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quorvel {

namespace {

// How long closing waits for the window's threads. Every download has been
// cut off by then, so they end within milliseconds; the bound only keeps a
// fault from holding the window open.
constexpr std::chrono::milliseconds kThreadEndBound(2000);

PublisherSites& publisherSites() {
    static PublisherSites sites;
    return sites;
}

std::function<void()>& quitHook() {
    // Every event loop ends, a modal dialog's included, and main returns.
    static std::function<void()> quit = [] { QCoreApplication::exit(0); };
    return quit;
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

QFrame* bevelledPanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1StringView(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

}  // namespace

TForm1::TForm1(const QString& directory, QWidget* parent)
    : QMainWindow(parent),
      directory_(directory.isEmpty() ? QDir::currentPath() : directory),
      model_(new RecordListModel(this)),
      sites_(publisherSites()) {
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setFont(windowFont());
    for (int i = 0; i < 7; ++i) {
        ImageList1 += QIcon(QStringLiteral(":/quorvel/toolbar%1.png").arg(i));
    }
    fetchSettings_.abort = &abort_;
    run_ = std::make_unique<CheckRun>(*this, fetchSettings_);
    MarkersShown.attach(model_);
    model_->setCheckResults(run_->sharedResults());
    historyPath_ = QDir(directory_).absoluteFilePath(QString::fromUtf16(kHistoryFileName));
    overview_ = new OverviewRefresher(historyPath_, this);
    overviewDelay_.setSingleShot(true);
    connect(&overviewDelay_, &QTimer::timeout, this, [this] { refreshOverview(); });
    connect(&progressTimer_, &QTimer::timeout, this, [this] { progressTick(); });
    runQuestions_ = std::make_unique<BackgroundWork>(this);
    FetchSettings bannerSettings;
    bannerSettings.abort = &abort_;
    IdHTTP1 = makeBannerClient(bannerSettings);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    Panel2 = bevelledPanel(central, "Panel2");
    Panel2->setFixedHeight(41);
    column->addWidget(Panel2);
    buildToolbar();

    Panel1 = new EditorPanel(central);
    column->addWidget(Panel1);
    Panel1->hide();

    buildHeader(central);
    column->addWidget(HeaderControl1);

    ListBox1 = new RecordListView(central);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(model_);
    ListBox1->setItemDelegate(new RecordDelegate(HeaderControl1, ListBox1));
    column->addWidget(ListBox1, 1);
    // A row's hint: what the history knows of its record, from the
    // overview's snapshot in memory (nothing is read on this thread).
    ListBox1->setRowHint([this](int row) {
        const std::shared_ptr<const OverviewSnapshot>& snapshot = overview_->snapshot();
        return snapshot && row < model_->rowCount()
                   ? overviewHint(*snapshot, row, model_->records().view(row))
                   : QString();
    });

    Panel3 = bevelledPanel(central, "Panel3");
    Panel3->setFixedHeight(77);
    column->addWidget(Panel3);
    buildBannerArea();
    buildStatusBar();
    buildPopupMenu();
    buildDialogs();
    connectEditor();
    connectTableCommands();

    connect(HeaderControl1, &QHeaderView::sectionResized, this,
            [this] { HeaderControl1SectionResize(); });
    connect(ListBox1, &RecordListView::contextMenuWanted, this,
            [this](const QPoint& at) { PopupMenu1->popup(at); });

    resize(kClientWidth, kClientHeight);
    FormCreate();
}

void TForm1::buildHeader(QWidget* parent) {
    auto* headerModel = new QStandardItemModel(0, kSectionCount, this);
    headerModel->setHorizontalHeaderLabels(listColumnWords());
    HeaderControl1 = new QHeaderView(Qt::Horizontal, parent);
    HeaderControl1->setObjectName(QStringLiteral("HeaderControl1"));
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
}

void TForm1::setForms(QDialog* form2, TForm3* form3) {
    Form2 = form2;
    Form3 = form3;
}

PublisherSites TForm1::setPublisherSitesForTests(PublisherSites sites) {
    return std::exchange(publisherSites(), std::move(sites));
}

TForm1::~TForm1() {
    // Workers may be blocked on a call to this window: they must be released
    // and ended while the window can still run their calls, and before the
    // history writer that their last calls feed is gone.
    endThreads();
    run_.reset();
}

void TForm1::setFetchSettingsForTests(const FetchSettings& settings) {
    fetchSettings_ = settings;
    fetchSettings_.abort = &abort_;
    run_->setFetchSettings(fetchSettings_);
}

std::function<void()> TForm1::setQuitHookForTests(std::function<void()> quit) {
    return std::exchange(quitHook(), std::move(quit));
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
    RecordStore loaded;
    dataFile_->load(&loaded);
    model_->setRecords(std::move(loaded));
    BannerLink.clear();
    listContentChanged();
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
    QSize minimum(kMinOuterWidth - frameWidth, kMinOuterHeight - frameHeight);
    if (isMaximized()) {
        // A minimum above the present size resizes the window, and a resize
        // takes a window out of its maximised state: until the window
        // manager has made it big, the minimum waits for it.
        minimum = minimum.boundedTo(size());
    }
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

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isVisible()) {
        applyOuterMinimum();
    }
}

void TForm1::FormShow() {
    if (model_->rowCount() > 0) {
        ListBox1->selectionModel()->setCurrentIndex(model_->index(0),
                                                    QItemSelectionModel::ClearAndSelect);
    }
    if (!bannerThread_.joinable() && !closing_) {
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
void TForm1::onBannerThreadEnded() {
    bannerThreadEnded_ = true;
}

void TForm1::Image1Click() {
    openWebAddress(sites_.developer + u"/?p=600");
}

void TForm1::Image2Click() {
    openWebAddress(BannerLink.isEmpty() ? sites_.ideaAuthor : BannerLink);
}

void TForm1::FormClose() {
    // Closing fails silently in the window; the reason still goes somewhere.
    const QString dataPath = QDir(directory_).absoluteFilePath(QString::fromUtf16(kDataFileName));
    if (const Outcome<> saved = dataFile_->save(model_->records()); !saved) {
        logFileProblem("write", dataPath, saved.error);
    }
    const QString widthPath = QDir(directory_).absoluteFilePath(QString::fromUtf16(kWidthFileName));
    if (const Outcome<> written = writeColumnWidths(widthPath, columnWidths()); !written) {
        logFileProblem("write", widthPath, written.error);
    }
}

void TForm1::logFileProblem(const char* doing, const QString& path, const QString& why) {
    const QByteArray line = "quorvel: cannot " + QByteArray(doing) + ' ' +
                            QDir::toNativeSeparators(path).toLocal8Bit() + ": " +
                            why.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

void TForm1::closeNow() {
    if (closing_) {
        return;
    }
    closing_ = true;
    FormClose();
    endThreads();
    quitHook()();
}

void TForm1::endThreads() {
    abort_.set();
    const auto deadline = std::chrono::steady_clock::now() + kThreadEndBound;
    run_->shutdown(kThreadEndBound);
    // A look with JavaScript under way has been cut off with the rest.
    renderWork_.reset();
    // The run's last results go to the history in what is left of the
    // bound; whatever is not written by then is dropped.
    if (recording_) {
        recording_->finish(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - std::chrono::steady_clock::now(),
                     std::chrono::steady_clock::duration::zero())));
        recording_.reset();
    }
    if (renderRecording_) {
        renderRecording_->finish(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - std::chrono::steady_clock::now(),
                     std::chrono::steady_clock::duration::zero())));
        renderRecording_.reset();
    }
    // The banner thread never waits for this window (it only posts to it)
    // and its downloads have been cut off, so it ends at once.
    if (bannerThread_.joinable()) {
        bannerThread_.join();
    }
}

void TForm1::processPendingTasks(std::chrono::milliseconds wait) {
    // Only what threads handed over and the window's own housekeeping: the
    // user's input waits, so no command runs while the window closes.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(qBound(1, int(wait.count()), 5));
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
        runModal(*Form2);
    }
}

int TForm1::recordCount() const {
    return model_->rowCount();
}

QString TForm1::recordAt(int index) const {
    return model_->records().at(index);
}

}  // namespace quorvel
