#include "ui/about_dialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"

AboutDialog::AboutDialog(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("About Вельмар-7К"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);

    const DialogUnits du(font());
    setFixedSize(du.Size(217, 55));

    auto* pIcon = new QLabel(this);
    const QRect iconRect = du.Rect(11, 17, 18, 20);
    pIcon->setGeometry(iconRect);
    pIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pIcon->setPixmap(QIcon(QStringLiteral(":/icons/tarvex_32.xpm")).pixmap(32, 32));

    auto* pName = new QLabel(this);
    pName->setTextFormat(Qt::PlainText); // no prefix or markup processing
    pName->setText(QStringLiteral("Tarvex V1.7"));
    pName->setGeometry(du.Rect(40, 10, 119, 8));

    auto* pLine = new QLabel(QStringLiteral("Чтение архива измерений"), this);
    pLine->setGeometry(du.Rect(40, 25, 119, 8));

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QStringLiteral("IDOK"));
    pOk->setDefault(true); // Enter closes; Esc closes through reject()
    pOk->setGeometry(du.Rect(178, 7, 32, 14));
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    pOk->setFocus();
}
