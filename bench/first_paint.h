#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QListView>

#include "ui/form1.h"

namespace quorvel::bench {

// Shows the window as at start-up and returns once its record list has been
// painted for the first time: what a user waits for.
inline void showUntilListPainted(TForm1& form) {
    class PaintProbe : public QObject {
      public:
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted = true;
            }
            return false;
        }
    } probe;
    QWidget* viewport = form.findChild<QListView*>(QStringLiteral("ListBox1"))->viewport();
    viewport->installEventFilter(&probe);
    form.showAtStart();
    while (!probe.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    viewport->removeEventFilter(&probe);
}

}  // namespace quorvel::bench
