#include "ui/AboutDialog.h"

#include "platform/Version.h"
#include "ui/DialogSupport.h"
#include "ui/ProgramIcon.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace turnpost {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("About Turnpost"));
    RemoveCloseBox(this);

    auto* icon = new QLabel(this);
    icon->setObjectName("iconLabel");
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    icon->setPixmap(ProgramIcon().pixmap(iconSize, iconSize, QIcon::Normal));
    icon->setFixedSize(iconSize, iconSize);

    auto* version = new QLabel(QString::fromUtf8(ProgramName), this);
    version->setObjectName("versionLabel");
    version->setTextFormat(Qt::PlainText);
    auto* line = new QLabel(tr("Mails Stars! turn files to the players of a game."), this);
    line->setObjectName("descriptionLabel");
    line->setTextFormat(Qt::PlainText);
    line->setAlignment(Qt::AlignHCenter);

    auto* okButton = MakeOkButton(this);
    okButton->setMinimumWidth(DialogUnitsX(this, 32));

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(version, 0, 1, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(okButton, 0, 2, Qt::AlignTop);
    grid->setRowMinimumHeight(1, DialogUnitsY(this, 6));
    grid->addWidget(line, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(1, DialogUnitsX(this, 127));
    grid->setSizeConstraint(QLayout::SetFixedSize);
    setWindowIcon(ProgramIcon());
}

} // namespace turnpost
