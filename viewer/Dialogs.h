// Message dialogs of the viewer.  Every dialog the windows show goes through
// the one service installed here, so that another service (a recorder in the
// tests, for example) can take the place of the modal message boxes.
#pragma once

#include <QString>

class QWidget;

namespace kvx {

class DialogService {
public:
    virtual ~DialogService() = default;
    // An error dialog with a single OK button.
    virtual void error(QWidget* parent, const QString& text);
    // A plain information message.
    virtual void information(QWidget* parent, const QString& text);
};

// The service in use (modal QMessageBox dialogs unless replaced).
DialogService& dialogs();
// Installs a service (not owned); nullptr brings back the message boxes.
void setDialogService(DialogService* service);

}  // namespace kvx
