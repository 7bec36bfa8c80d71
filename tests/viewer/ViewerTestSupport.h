// Shared pieces of the viewer tests: the application object, a dialog
// recorder in place of the message boxes, and waiting on the event loop.
#pragma once

#include <QApplication>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "Dialogs.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '{' << l.join("|").toStdString() << '}'; }

namespace kvxtest {

// Points the viewer's settings store (the user's native store) at a new,
// empty folder, so that no test sees what another one stored or touches the
// user's own settings.  Returns the folder.
inline QString freshSettings()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    folders.push_back(std::make_unique<QTemporaryDir>());
    const QString path = folders.back()->path();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    return path;
}

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "viewer_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        new QApplication(argc, argv);
    }
    freshSettings();
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
