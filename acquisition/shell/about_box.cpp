#include "acquisition/shell/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "common/dialog_units.h"
#include "acquisition/shell/toolbar_images.h"
#include "common/version.h"

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("关于 Vostrel"));
    setFont(QFont(QStringLiteral("宋体"), 9));
    const DialogUnits du = DialogUnits::OfLetters(font());
    setFixedSize(du.Size(235, 55));

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(DrawProgramIcon(32)));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);

    auto* name = new QLabel(tr("Vostrel %1 版").arg(QLatin1String(kWorkstationVersion)), this);
    name->setGeometry(du.Rect(40, 10, 119, 10));
    auto* copyright = new QLabel(tr("版权所有 (C) 2026"), this);
    copyright->setGeometry(du.Rect(40, 25, 119, 10));

    auto* ok = new QPushButton(tr("确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
