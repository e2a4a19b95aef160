#include "ui/AdditionalFilesDialog.h"

#include "platform/UserInterface.h"
#include "ui/DialogSupport.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace turnpost {

CAdditionalFilesDialog::CAdditionalFilesDialog(IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_Ui(ui)
{
    setWindowTitle(tr("Additional Files to Send"));

    m_Files = new QListWidget(this);
    m_Files->setObjectName("fileList");
    m_Files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Files->setMinimumSize(DialogUnitsX(this, 199), DialogUnitsY(this, 81));

    auto* addButton = new QPushButton(tr("Add..."), this);
    addButton->setObjectName("addButton");
    auto* removeButton = new QPushButton(tr("Remove"), this);
    removeButton->setObjectName("removeButton");
    connect(addButton, &QPushButton::clicked, this, &CAdditionalFilesDialog::OnAdd);
    connect(removeButton, &QPushButton::clicked, this, &CAdditionalFilesDialog::OnRemove);
    auto* okButton = MakeOkButton(this);
    auto* cancelButton = MakeCancelButton(this);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    for (QPushButton* button : {addButton, removeButton, okButton, cancelButton})
        button->setMinimumWidth(DialogUnitsX(this, 50));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_Files, 1);
    layout->addLayout(buttons);
}

void CAdditionalFilesDialog::OnAdd()
{
    const auto path = m_Ui.OpenFileDialog("All files (*.*)|*.*||", "");
    if (path)
        m_Files->addItem(ToQString(*path));
}

void CAdditionalFilesDialog::OnRemove()
{
    const auto selected = m_Files->selectedItems();
    if (!selected.isEmpty())
        delete selected.front();
}

} // namespace turnpost
