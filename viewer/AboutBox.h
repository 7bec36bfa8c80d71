// TAboutForm, "About KVX Viewer": the application and library versions and
// the lines of every device found by the last search.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

#include "Autoconfig.h"

#include "vkvx.h"

namespace kvx {

// The maker's web site, opened by the web-site labels.
constexpr const char* kMakerWebSite = "https://www.vantrel.com/";

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

    void setLibraryVersion(unsigned major, unsigned minor, unsigned build);
    void setApplicationVersion(const QString& text);
    // Starts the information text again (before the device buttons are built).
    void resetInfo();
    // Adds the lines of one device record, its slaves and its operation modes.
    void addDevice(const VKVX_DEVICE_INFO& info);

    QString infoText() const { return Memo1->toPlainText(); }

    QLabel* LB_AppVersion;
    QLabel* WebSiteLabel;
    QPlainTextEdit* Memo1;
    QPushButton* Button1;
    QPushButton* BitBtn3;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addLine(const QString& line);
    void Button1Click();
    QString appVersion_;
    unsigned libMajor_ = 0, libMinor_ = 0, libBuild_ = 0;
    int deviceCounter_ = 0;
    // Created at each showing (loading the box's stored position), saved
    // with the box's end; the previous one is saved and freed first.
    std::unique_ptr<Autoconfig> keeper_;
};

// A device record's text field (bounded: the library's fields need not carry
// a terminator).
QString recordText(const char* field, size_t size);

}  // namespace kvx
