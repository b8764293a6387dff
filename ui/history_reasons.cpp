#include "ui/history_reasons.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/app_setup.h"

bool AskSetAsideDamagedHistory(QWidget* pParent, const QString& szText) {
    QMessageBox box(QMessageBox::Warning, BoxTitle(), szText, QMessageBox::NoButton, pParent);
    QPushButton* pSetAside =
        box.addButton(QStringLiteral("Отложить и начать новую историю"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Закрыть"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == pSetAside;
}
