// Shared pieces of the viewer tests: the application object, a dialog
// recorder in place of the message boxes, and waiting on the event loop.
#pragma once

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <functional>
#include <ostream>

#include "Dialogs.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '{' << l.join("|").toStdString() << '}'; }

namespace kvxtest {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "viewer_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        new QApplication(argc, argv);
    }
}

// Records every dialog instead of showing it.
class DialogRecorder : public kvx::DialogService {
public:
    DialogRecorder() { kvx::setDialogService(this); }
    ~DialogRecorder() override { kvx::setDialogService(nullptr); }
    void error(QWidget*, const QString& text) override { errors << text; }
    void information(QWidget*, const QString& text) override { infos << text; }
    QStringList errors;
    QStringList infos;
};

// Runs the event loop until pred holds or timeoutMs pass.
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    return QTest::qWaitFor(pred, timeoutMs);
}

}  // namespace kvxtest
