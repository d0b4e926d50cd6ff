// Checks of the list on a schedule: the dialog that installs the timer and
// writes where notices go.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "notify/notify_settings.h"
#include "records/data_file.h"
#include "ui/form1.h"
#include "ui/schedule_dialog.h"

namespace quorvel {

namespace {

QString& cliProgramHook() {
    static QString path;
    return path;
}

// The quorvel-cli that runs the scheduled checks: the one installed beside
// the program, else the one on the PATH.
QString cliProgram() {
    if (!cliProgramHook().isEmpty()) {
        return cliProgramHook();
    }
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quorvel-cli.exe");
#else
    const QString name = QStringLiteral("quorvel-cli");
#endif
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return QStandardPaths::findExecutable(name);
}

}  // namespace

QString TForm1::setCliProgramForTests(QString path) {
    return std::exchange(cliProgramHook(), std::move(path));
}

void TForm1::ScheduleButtonClick() {
    ScheduleDialogPaths paths;
    paths.listFile = QDir(directory_).absoluteFilePath(QString::fromUtf16(kDataFileName));
    paths.historyPath = historyPath_;
    paths.notifyConfig = defaultNotifyConfigPath();
    paths.program = cliProgram();
    ScheduleDialog dialog(this, paths, fetchSettings_);
    runModal(dialog);
}

}  // namespace quorvel
