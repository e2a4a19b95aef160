#include "ui/SummaryDialog.h"

#include "ui/DialogSupport.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace turnpost {

CSummaryDialog::CSummaryDialog(const std::string& text, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Summary"));
    RemoveCloseBox(this);

    auto* label = new QLabel(this);
    label->setObjectName("summaryLabel");
    label->setTextFormat(Qt::PlainText);
    label->setText(ToQString(text));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMargin(DialogUnitsX(this, 2));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Sixteen lines, one per player; long error lines that wrap make it taller, within the screen.
    const int width = DialogUnitsX(this, 248);
    const int frame = 2 * (label->frameWidth() + label->margin());
    int height = 16 * label->fontMetrics().lineSpacing() + frame;
    height = std::max(height, label->heightForWidth(width));
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() * 3 / 4);
    label->setFixedSize(width, height);

    auto* okButton = MakeOkButton(this);
    okButton->setMinimumWidth(DialogUnitsX(this, 50));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(okButton, 1, 0, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace turnpost
