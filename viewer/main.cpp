// KVX_Viewer: the bench program for the KVX instruments.
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <QVBoxLayout>

#include "MainWindow.h"
#include "platform/VersionNote.h"

// The program's own version, read back from its file for the About box and
// the status bar.
VKVX_DEFINE_VERSION_NOTE(KVX_VIEWER_VERSION_MAJOR, KVX_VIEWER_VERSION_MINOR, KVX_VIEWER_VERSION_BUILD, 0);

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantrel KVX Viewer");
    QApplication::setApplicationDisplayName("Vantrel KVX Viewer");
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    kvx::TForm1 form(arguments.join(' '));
    if (!form.apiReady()) {
        return 1;  // the error dialog has been shown
    }
    // TForm3, "DP TX": created with the other forms, never shown.
    QDialog form3(&form);
    form3.setObjectName("Form3");
    form3.setWindowTitle("DP TX");
    auto* linkTraining = new QGroupBox("Link Training", &form3);
    (new QVBoxLayout(&form3))->addWidget(linkTraining);
    form.show();
    return app.exec();
}
