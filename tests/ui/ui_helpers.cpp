#include "ui/ui_helpers.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QThread>

#include "records/record_line.h"

namespace quorvel::test {

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

QString recordLine(const QString& partnerUrl, const QString& yourLink, const QString& maximum,
                   const QString& notes) {
    return BuildRecordLine(partnerUrl, QString(), QString(), QDate(2010, 10, 21), QString(),
                           maximum, yourLink, notes);
}

}  // namespace quorvel::test
