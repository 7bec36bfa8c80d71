#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace kvx {
namespace {
DialogService g_messageBoxes;
DialogService* g_service = nullptr;
}  // namespace

void DialogService::error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
}

void DialogService::information(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
}

DialogService& dialogs() { return g_service ? *g_service : g_messageBoxes; }

void setDialogService(DialogService* service) { g_service = service; }

}  // namespace kvx
