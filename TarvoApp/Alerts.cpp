#include "Alerts.h"

#include <QMessageBox>
#include <QPushButton>

namespace tarvo {

void WidgetAlerts::showFailure(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tarvo"),
                    QStringLiteral("Tarvo could not start."), QMessageBox::Ok);
    box.setInformativeText(message);
    box.exec();
}

bool WidgetAlerts::explain(const QString& message, const QString& button, const QString& dismiss) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tarvo"), message);
    QPushButton* action =
        button.isEmpty() ? nullptr : box.addButton(button, QMessageBox::AcceptRole);
    box.addButton(dismiss, QMessageBox::RejectRole);
    box.exec();
    return action && box.clickedButton() == action;
}

} // namespace tarvo
