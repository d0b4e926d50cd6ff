#pragma once

#include <QDateEdit>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include <functional>
#include <memory>

#include "checking/check_run.h"
#include "checking/http_client.h"
#include "records/data_file.h"
#include "ui/column_widths.h"
#include "ui/record_list.h"
#include "vendor/banner.h"
#include "vendor/web_links.h"

#include <thread>

namespace quorvel {

// The main window: the record list with its header, the editor panel, the
// toolbar, the banner area and the status bar. It is also "the UI thread" of
// check runs.
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
    ~TForm1() override;

    // Shows the window maximised, then FormShow.
    void showAtStart();

    // Test hooks: the fetch settings of check runs, and what happens after
    // the closing writes (by default the process ends at once).
    void setFetchSettingsForTests(const FetchSettings& settings);
    static void setProcessEndForTests(std::function<void()> end);
    // Every modal dialog (file dialogs, message boxes, the busy dialog, the
    // links window) is run through this; by default it is QDialog::exec.
    static void setModalHookForTests(std::function<int(QDialog&)> run);
    // The vendor's and the idea author's sites for windows created after the call.
    static void setVendorSitesForTests(const VendorSites& sites);
    bool bannerThreadEnded_ = false;

    // The closing path: FormClose, then the end of the process.
    void closeNow();

    // CheckRunHost
    void runOnUiThread(const std::function<void()>& task) override;
    void postToUiThread(std::function<void()> task) override;
    int recordCount() const override;
    QString recordAt(int index) const override;
    void RepaintRecordList() override;
    void runStateChanged() override;

    // BannerWindow
    void setBannerPicture(const QImage& picture) override;
    void setBannerHint(const QString& hint) override;
    void setBannerLink(const QString& link) override;
    void setLaunchCount(const QString& text) override;
    void bannerThreadEnded() override;
    void Image1Click();
    void Image2Click();

    // Components, by their names.
    RecordListView* ListBox1 = nullptr;
    QHeaderView* HeaderControl1 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QFrame* Panel5 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    // The banner's HTTP client, one for the program's life (used by the banner thread).
    std::unique_ptr<HttpClient> IdHTTP1;
    QList<QIcon> ImageList1;
    QToolBar* ToolBar1 = nullptr;
    QAction* ToolButton1 = nullptr;
    QAction* ToolButton2 = nullptr;
    QAction* ToolButton3 = nullptr;
    QAction* ToolButton4 = nullptr;
    QAction* ToolButton5 = nullptr;
    QAction* ToolButton6 = nullptr;
    QWidget* ToolButton7 = nullptr;
    QWidget* ToolButton8 = nullptr;
    QWidget* ToolButton9 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    ClickableLabel* Image1 = nullptr;
    ClickableLabel* Image2 = nullptr;
    QDateEdit* DateTimePicker1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QDialog* Form2 = nullptr;  // set by the main block
    QDialog* Form3 = nullptr;

    RecordListModel* records() const { return model_; }
    CheckRun& checkRun() { return *run_; }
    QString BannerLink;
    ColumnWidths columnWidths() const;

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
    // Project files.
    void ToolButton4Click();
    void ToolButton2Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void applyOuterMinimum();
    void buildDialogs();
    void connectEditor();
    QString panelRecordLine() const;
    void replaceRecord(int row, const QString& line);
    int currentRow() const;
    static int runModal(QDialog& dialog);
    void showMessage(const QString& text);
    void buildToolbar();
    void buildEditor();
    void buildBannerArea();
    void buildStatusBar();
    void buildPopupMenu();
    void setColumnWidths(const ColumnWidths& widths);

    QString directory_;
    RecordListModel* model_ = nullptr;
    std::unique_ptr<CheckRun> run_;
    std::unique_ptr<DataFile> dataFile_;
    bool closing_ = false;
    FetchSettings fetchSettings_;
    VendorSites sites_;
    std::thread bannerThread_;
};

// Text that the user, a record or the network supplied, as a tooltip that
// shows its characters and is never read as markup.
QString plainToolTip(const QString& text);
// Sets a control's or action's hint: the text as given in the "hint"
// property, the tooltip showing it as plain text.
void setHint(QObject* target, const QString& text);

}  // namespace quorvel
