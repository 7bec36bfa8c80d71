// Helper of the control persistence test: one process that stores a form of
// twenty edits many times over, as a running viewer does, into the native
// store of a given folder.
//   autoconfig_writer <settings folder> <form name> <rounds>
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QWidget>

#include "Autoconfig.h"

int main(int argc, char* argv[])
{
    if (argc != 4) {
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromLocal8Bit(argv[1]));
    const QString form = QString::fromLocal8Bit(argv[2]);
    const int rounds = std::atoi(argv[3]);
    QWidget w;
    w.setObjectName(form);
    QLineEdit* edits[20];
    for (int i = 0; i < 20; ++i) {
        edits[i] = new QLineEdit(&w);
        edits[i]->setObjectName(QString("E%1").arg(i));
        edits[i]->setProperty("Tag", 100);
    }
    for (int r = 1; r <= rounds; ++r) {
        for (int i = 0; i < 20; ++i) {
            edits[i]->setText(QString("%1-%2-%3").arg(form).arg(r).arg(i));
        }
        kvx::Autoconfig keeper(&w, false, 3, "Software\\Vantrel\\KVX", 1000, 10);
        keeper.SaveAll();
    }
    return 0;
}
