#include "ui/AdditionalFilesDialog.h"

#include "platform/UserInterface.h"
#include "setup/AdditionalFiles.h"
#include "ui/DialogSupport.h"

#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace turnpost {

CAdditionalFilesDialog::CAdditionalFilesDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_Setup(setup), m_Ui(ui)
{
    setWindowTitle(tr("Additional Files to Send"));

    m_Files = new QListWidget(this);
    m_Files->setObjectName("fileList");
    m_Files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Files->setMinimumSize(DialogUnitsX(this, 199), DialogUnitsY(this, 81));
    // Paths in the file system's encoding, as the file dialog gives them.
    for (const std::string& file : AdditionalFileList(setup))
        m_Files->addItem(QFile::decodeName(file.c_str()));

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

void CAdditionalFilesDialog::accept()
{
    std::vector<std::string> files;
    for (int i = 0; i < m_Files->count(); ++i)
        files.push_back(QFile::encodeName(m_Files->item(i)->text()).toStdString());
    // A chosen file's name cannot hold a line break on any desktop we know; should one, it is said.
    std::string error;
    if (!SetAdditionalFileList(m_Setup, files, error)) {
        m_Ui.MessageBox("Could not keep the list: " + error, {}, MessageButtons::Ok,
                        MessageIcon::Exclamation);
        return;
    }
    QDialog::accept();
}

void CAdditionalFilesDialog::OnAdd()
{
    for (const std::string& path : m_Ui.OpenFilesDialog("All files (*.*)|*.*||"))
        m_Files->addItem(QFile::decodeName(path.c_str()));
}

void CAdditionalFilesDialog::OnRemove()
{
    const auto selected = m_Files->selectedItems();
    if (!selected.isEmpty())
        delete selected.front();
}

} // namespace turnpost
