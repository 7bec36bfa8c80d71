#include "AboutBox.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>
#include <vector>

#include "ApiBinding.h"

namespace kvx {

QString recordText(const char* field, size_t size)
{
    return QString::fromLatin1(field, static_cast<int>(strnlen(field, size)));
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutForm");
    setProperty("Tag", 100);
    setWindowTitle("About KVX Viewer");
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel("Vantrel KVX Viewer", this);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    title->setFont(f);
    column->addWidget(title);
    column->addWidget(new QLabel("--", this));
    LB_AppVersion = new QLabel(this);
    LB_AppVersion->setObjectName("LB_AppVersion");
    column->addWidget(LB_AppVersion);
    column->addWidget(new QLabel("Bench viewer for the KVX capture instruments", this));
    WebSiteLabel = new QLabel(QString("<a href=\"%1\">%1</a>").arg(kMakerWebSite), this);
    WebSiteLabel->setObjectName("Label5");
    WebSiteLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(WebSiteLabel, &QLabel::linkActivated, this, [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    column->addWidget(WebSiteLabel);
    column->addWidget(new QLabel("--", this));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    column->addWidget(Memo1, 1);
    auto* buttons = new QHBoxLayout;
    Button1 = new QPushButton("Copy Version information to Clipboard", this);
    Button1->setObjectName("Button1");
    BitBtn3 = new QPushButton("Close", this);
    BitBtn3->setObjectName("BitBtn3");
    buttons->addWidget(Button1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn3);
    column->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, &QDialog::accept);
    resize(520, 420);
}

void TAboutForm::setLibraryVersion(unsigned major, unsigned minor, unsigned build)
{
    libMajor_ = major;
    libMinor_ = minor;
    libBuild_ = build;
}

void TAboutForm::setApplicationVersion(const QString& text) { appVersion_ = text; }

TAboutForm::~TAboutForm() = default;

void TAboutForm::showEvent(QShowEvent* event)
{
    keeper_.reset();
    try {
        keeper_ = std::make_unique<Autoconfig>(this, true, 3, "Software\\Vantrel\\KVX", 1000, 100);
    } catch (const AutoconfigError&) {
        keeper_.reset();  // the box shows without its stored position
    }
    LB_AppVersion->setText("Version " + appVersion_);
    QDialog::showEvent(event);
}

void TAboutForm::resetInfo()
{
    Memo1->setPlainText("Application Version " + appVersion_);
    addLine(QString("VKVX API Version %1.%2 [R%3]").arg(libMajor_).arg(libMinor_).arg(libBuild_));
    deviceCounter_ = 0;
}

void TAboutForm::addLine(const QString& line) { Memo1->appendPlainText(line); }

void TAboutForm::addDevice(const VKVX_DEVICE_INFO& info)
{
    addLine(QString());
    addLine(QString("- Device %1 -").arg(deviceCounter_));
    addLine(recordText(info.Description, sizeof info.Description) + " [" +
            recordText(info.SerialNumber, sizeof info.SerialNumber) + "] rev: " + QString::number(info.Revision));
    if (info.SlaveCount != 0) {
        addLine(QString("Slaves: %1").arg(info.SlaveCount));
        // The chain is the library's; a bound keeps a looping chain from
        // hanging the viewer.
        int hops = 0;
        for (const VKVX_DEVICE_INFO* slave = info.NextSlave; slave && hops < 256; slave = slave->NextSlave, ++hops) {
            addLine(" -> " + recordText(slave->SerialNumber, sizeof slave->SerialNumber));
        }
    }
    const int32_t n = kvx::VKVX_EnumOperationModes(&info, nullptr, 0);
    std::vector<VKVX_OPERATION_MODE> modes;
    int32_t got = -1;
    if (n >= 0) {
        modes.resize(static_cast<size_t>(n));
        got = n > 0 ? kvx::VKVX_EnumOperationModes(&info, modes.data(), n) : 0;
    }
    if (n < 0 || got < 0) {
        addLine("Problem: Failed to enumerate operation modes");
    } else {
        const int32_t count = got < n ? got : n;
        for (int32_t i = 0; i < count; ++i) {
            const VKVX_OPERATION_MODE& m = modes[static_cast<size_t>(i)];
            addLine(QString("Operation mode %1: '").arg(m.ModeId) + recordText(m.Name, sizeof m.Name) + "'.");
            addLine(QString("Firmware version %1.%2, Software version %3.%4")
                        .arg(m.FirmwareMajor)
                        .arg(m.FirmwareMinor)
                        .arg(m.SoftwareMajor)
                        .arg(m.SoftwareMinor));
            bool plugin = false;
            for (uint8_t b : m.Reserved) {
                plugin = plugin || b != 0;
            }
            if (plugin) {
                QString guid;
                for (uint8_t b : m.Reserved) {
                    guid += QString::asprintf("%.2x ", b);
                }
                guid.chop(1);
                addLine("Plugin GUID {" + guid + "}");
            }
            addLine(QString());
        }
    }
    addLine("---");
    ++deviceCounter_;
}

void TAboutForm::Button1Click() { QApplication::clipboard()->setText(Memo1->toPlainText()); }

}  // namespace kvx
