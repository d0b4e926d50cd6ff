#pragma once

#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>
#include <thread>

#include "checking/abort_flag.h"
#include "checking/check_run.h"
#include "checking/http_client.h"
#include "history/history_recorder.h"
#include "publisher/banner.h"
#include "publisher/web_links.h"
#include "records/data_file.h"
#include "ui/column_widths.h"
#include "ui/editor_panel.h"
#include "ui/hints.h"
#include "ui/overview_rows.h"
#include "ui/record_list.h"

namespace quorvel {

class BackgroundWork;
class HistoryWindow;
class OverviewRefresher;
class OverviewWindow;
class RunRecording;
class BackgroundWork;
class RecordImport;
class TForm3;

// The main window: the record list with its header, the editor panel, the
// toolbar, the banner area and the status bar. It is also "the UI thread" of
// check runs. Its controls carry their names as object names, so that tests
// find them with findChild.
class TForm1 : public QMainWindow, public CheckRunHost, public BannerWindow {
    Q_OBJECT
  public:
    // The client size of the restored window.
    static constexpr int kClientWidth = 979;
    static constexpr int kClientHeight = 432;
    static constexpr int kMinOuterWidth = 987;
    static constexpr int kMinOuterHeight = 300;

    // Creates the window and runs FormCreate: the automatic data file and the
    // width file are read from `directory`.
    explicit TForm1(const QString& directory = QString(), QWidget* parent = nullptr);
    // Ends every thread of the window (see closeNow) if closing has not.
    ~TForm1() override;

    // The About box and the outgoing links window, created by the main block.
    void setForms(QDialog* form2, TForm3* form3);
    // Shows the window maximised, then FormShow.
    void showAtStart();

    // The closing path: FormClose writes the files, then every download of
    // the window is cut off, every thread ends, and the event loop is left.
    void closeNow();

    // Test hooks. Each returns the hook it replaces, so that a guard can put
    // it back.
    // The fetch settings of check runs and the links window.
    void setFetchSettingsForTests(const FetchSettings& settings);
    // The history's writing options for runs started after the call (the
    // runs stay the window's).
    void setHistoryOptionsForTests(const HistoryRecorderOptions& options) {
        historyOptions_ = options;
        historyOptions_.source = RunSource::Window;
    }
    // What ends the event loop once the window has closed.
    static std::function<void()> setQuitHookForTests(std::function<void()> quit);
    // Every modal dialog (file dialogs, message boxes, the busy dialog, the
    // links window) is run through this; by default it is QDialog::exec.
    static std::function<int(QDialog&)> setModalHookForTests(std::function<int(QDialog&)> run);
    // The developer's and the idea author's sites for windows created after the call.
    static PublisherSites setPublisherSitesForTests(PublisherSites sites);
    // The quorvel-cli a schedule runs (by default the one beside the program,
    // else the one on the PATH).
    static QString setCliProgramForTests(QString path);
    bool bannerThreadEnded() const { return bannerThreadEnded_; }

    // CheckRunHost
    void runOnUiThread(const std::function<void()>& task) override;
    void postToUiThread(std::function<void()> task) override;
    void processPendingTasks(std::chrono::milliseconds wait) override;
    int recordCount() const override;
    QString recordAt(int index) const override;
    void RepaintRecordList() override;
    void runStateChanged() override;
    void recordChecked(const RecordCheck& check) override;

    // BannerWindow
    void setBannerPicture(const QImage& picture) override;
    void setBannerHint(const QString& hint) override;
    void setBannerLink(const QString& link) override;
    void setLaunchCount(const QString& text) override;
    void onBannerThreadEnded() override;

    RecordListModel* records() const { return model_; }
    CheckRun& checkRun() { return *run_; }
    ColumnWidths columnWidths() const;
    // The list view draws check results only while this is set: the start
    // of a run sets it, commands that change the list clear it.
    MarkersSwitch MarkersShown;
    QString BannerLink;

    // Handlers
    void FormCreate();
    void FormShow();
    void FormClose();
    void lbcount();
    void ToolButton3Click();
    void ToolButton6Click();
    void HeaderControl1SectionResize();
    void PopupMenu1Popup();
    void N2Click();
    void Image1Click();
    void Image2Click();
    // The editor and the list commands.
    void ToolButton1Click();
    void ToolButton5Click();
    void ListBox1DblClick();
    void ListBox1Click();
    void ListBox1KeyUp();
    void ListBox1KeyDown();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void N1Click();
    void N3Click();
    // The current record's check history.
    void N4Click();
    // The current record's partner page looked at once more, rendered by a
    // browser, in the background; the result goes to the status bar and the
    // history.
    void RenderMenuItemClick();
    // The overview of every partner, opened with a filter.
    void OverviewButtonClick();
    void openOverview(OverviewFilter filter);
    // The overview's snapshot as it stands (none before the first read).
    std::shared_ptr<const OverviewSnapshot> overviewSnapshot() const;
    // The status bar's third panel: a click opens the overview of what the
    // last run changed.
    void StatusPanel2Click();
    // Project files.
    void ToolButton4Click();
    void ToolButton2Click();
    // Partners in from a table (the toolbar's import button and the list's
    // menu), the import dialog opened on `file` when one is given; and the
    // list with its check results out to one.
    void ImportClick(const QString& file = QString());
    void ExportClick();
    // Checks of the list on a schedule, with notices of what changed.
    void ScheduleButtonClick();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void applyOuterMinimum();
    void buildToolbar();
    void buildHeader(QWidget* parent);
    void buildBannerArea();
    void buildStatusBar();
    void buildPopupMenu();
    void buildDialogs();
    void connectTableCommands();
    // Puts an import's records into the list: updates in place, new records
    // at the end, the first of them the focus row.
    void applyImport(const RecordImport& import);
    // A yes-or-no question in a message box; true for "Да".
    bool askYesNo(const QString& text);
    void connectEditor();
    void setColumnWidths(const ColumnWidths& widths);
    int currentRow() const;
    void replaceRecord(int row, const QString& line);
    // After a command changed the list's content: the list keeps a focus
    // row, the markers go, the list is repainted and the count is updated.
    void listContentChanged();
    static int runModal(QDialog& dialog);
    // Runs `work` on a thread of its own under a modal busy dialog that says
    // what it waits for (`what`, then `address` as plain text) and whose
    // cancel button sets the flag that `work` gets; closing the window sets
    // it too. True when `work` ran to its end and the window is not closing.
    bool runBusy(const QString& title, const QString& what, const QString& address,
                 const std::function<void(const AbortFlag& cancel)>& work);
    void showMessage(const QString& text);
    // A file the window could not read or write: one line on standard error
    // with the reason, beside whatever the window shows.
    static void logFileProblem(const char* doing, const QString& path, const QString& why);
    void endThreads();
    // The history window of the record at `row`.
    void showHistoryOf(int row);
    // The overview is read again soon: several changes in a row make one read.
    void refreshOverviewSoon();
    void refreshOverview();
    // A row chosen in the overview: the record at `index` when the overview
    // was made, whose line was `line`.
    void selectFromOverview(int index, const QString& line);
    // The third panel: a run's progress, its stopping and its summary.
    void progressStarted();
    void progressRecorded(const RecordCheck& check);
    void showProgress();
    // While a run goes on, and after it until the history has its checks.
    void progressTick();

    // Components, by their names.
    RecordListView* ListBox1 = nullptr;
    QHeaderView* HeaderControl1 = nullptr;
    EditorPanel* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QFrame* Panel5 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    ClickableLabel* StatusPanel2 = nullptr;
    QList<QIcon> ImageList1;
    QToolBar* ToolBar1 = nullptr;
    QAction* ToolButton1 = nullptr;
    QAction* ToolButton2 = nullptr;
    QAction* ToolButton3 = nullptr;
    QAction* ToolButton4 = nullptr;
    QAction* ToolButton5 = nullptr;
    QAction* ToolButton6 = nullptr;
    QAction* OverviewButton = nullptr;
    QWidget* ToolButton7 = nullptr;
    QWidget* ToolButton8 = nullptr;
    QWidget* ToolButton9 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    QFileDialog* ExportDialog1 = nullptr;  // made on first use
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* RenderMenuItem = nullptr;
    QAction* ImportButton = nullptr;
    QAction* ExportButton = nullptr;
    QAction* ImportMenuItem = nullptr;
    QAction* ExportMenuItem = nullptr;
    QAction* ScheduleButton = nullptr;
    ClickableLabel* Image1 = nullptr;
    ClickableLabel* Image2 = nullptr;
    QDialog* Form2 = nullptr;
    TForm3* Form3 = nullptr;
    HistoryWindow* historyWindow_ = nullptr;  // made on first use
    OverviewRefresher* overview_ = nullptr;
    OverviewWindow* overviewWindow_ = nullptr;  // made on first use
    QTimer overviewDelay_;

    QString directory_;
    RecordListModel* model_ = nullptr;
    // Every download of the window watches this flag; closing sets it.
    AbortFlag abort_;
    FetchSettings fetchSettings_;
    std::unique_ptr<CheckRun> run_;
    std::unique_ptr<DataFile> dataFile_;
    // Project files loaded lossily: saving over one keeps its bytes first.
    LossyReads lossyProjects_;
    // The check history beside the data file, whatever project is loaded.
    QString historyPath_;
    // The history's record of the run under way or the last one, which may
    // still be writing (and holds the ones before it that still are).
    std::unique_ptr<RunRecording> recording_;
    // The last run as the third panel tells it.
    struct RunProgress {
        bool started = false;
        int checked = 0;
        std::array<int, 4> byStatus{};  // Found, Hidden, Missing, FetchFailed
        QElapsedTimer clock;
        // The records whose confirmed state the run moved, once the history
        // has its checks; -1 until then, or without a history.
        int changed = -1;
        // The run's recording, until its checks are written.
        const RunRecording* awaited = nullptr;
    };
    RunProgress progress_;
    QTimer progressTimer_;
    // Questions to the history about the last run, off the UI thread.
    std::unique_ptr<BackgroundWork> runQuestions_;
    HistoryRecorderOptions historyOptions_{.source = RunSource::Window};
    // The looks of "проверить с JavaScript": their own recordings (each
    // holding the ones before it that still write) and their thread.
    std::unique_ptr<RunRecording> renderRecording_;
    std::unique_ptr<BackgroundWork> renderWork_;
    bool closing_ = false;
    PublisherSites sites_;
    // The banner's HTTP client, one for the program's life (used by the banner thread).
    std::unique_ptr<HttpClient> IdHTTP1;
    std::thread bannerThread_;
    bool bannerThreadEnded_ = false;
};

}  // namespace quorvel
