#include "ui/PreferencesDialog.h"

#include "platform/UserInterface.h"
#include "setup/GameSetup.h"
#include "ui/DialogSupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace turnpost {

namespace {

QCheckBox* MakeCheck(QWidget* parent, const QString& label, const char* name, std::int32_t value)
{
    auto* check = new QCheckBox(label, parent);
    check->setObjectName(name);
    check->setChecked(value != 0);
    return check;
}

std::int32_t CheckValue(const QCheckBox* check)
{
    return check->isChecked() ? 1 : 0;
}

} // namespace

CPreferencesDialog::CPreferencesDialog(GameSetup& setup, IUserInterface& /*ui*/, QWidget* parent)
    : QDialog(parent), m_Setup(setup)
{
    setWindowTitle(tr("Turnpost Preferences"));

    auto* group = new QGroupBox(tr("\"Send\" Report"), this);
    m_DisplaySummary =
        MakeCheck(group, tr("&Display summary upon completion"), "displaySummaryCheck", setup.DisplaySummary);
    m_SaveToFile = MakeCheck(group, tr("&Save to file:"), "saveToFileCheck", setup.SaveReportToFile);
    m_ReportFile = NewSetupEdit(ToQString(setup.ReportFile), group);
    m_ReportFile->setObjectName("reportFileEdit");
    m_EmailReport = MakeCheck(group, tr("&Email to:"), "emailReportCheck", setup.EmailReport);
    m_ReportAddress = NewSetupEdit(ToQString(setup.ReportAddress), group);
    m_ReportAddress->setObjectName("reportAddressEdit");
    // Each box follows its check box on screen; a screen reader would otherwise name both after the group.
    m_ReportFile->setAccessibleName(tr("Report file"));
    m_ReportAddress->setAccessibleName(tr("Report e-mail address"));
    for (QLineEdit* edit : {m_ReportFile, m_ReportAddress}) {
        edit->setMinimumWidth(DialogUnitsX(this, 114));
        edit->setCursorPosition(0); // a long path shows its start
    }

    m_Summary = new QRadioButton(tr("S&ummary"), group);
    m_Summary->setObjectName("summaryRadio");
    m_Detailed = new QRadioButton(tr("De&tailed"), group);
    m_Detailed->setObjectName("detailedRadio");
    auto* reportForm = new QButtonGroup(this);
    reportForm->addButton(m_Summary, 0);
    reportForm->addButton(m_Detailed, 1);
    (setup.DetailedReport != 0 ? m_Detailed : m_Summary)->setChecked(true);

    auto* radios = new QHBoxLayout;
    radios->addSpacing(DialogUnitsX(this, 12));
    radios->addWidget(m_Summary);
    radios->addWidget(m_Detailed);
    radios->addStretch();

    auto* grid = new QGridLayout(group);
    grid->addWidget(m_DisplaySummary, 0, 0, 1, 2);
    grid->setRowMinimumHeight(1, DialogUnitsY(this, 4));
    grid->addWidget(m_SaveToFile, 2, 0);
    grid->addWidget(m_ReportFile, 2, 1);
    grid->addWidget(m_EmailReport, 3, 0);
    grid->addWidget(m_ReportAddress, 3, 1);
    grid->addLayout(radios, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* buttons = MakeOkCancelColumn(this);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    m_DisplaySummary->setFocus();
}

void CPreferencesDialog::accept()
{
    m_Setup.DisplaySummary = CheckValue(m_DisplaySummary);
    m_Setup.SaveReportToFile = CheckValue(m_SaveToFile);
    m_Setup.ReportFile = EditedText(m_ReportFile, m_Setup.ReportFile);
    m_Setup.EmailReport = CheckValue(m_EmailReport);
    m_Setup.ReportAddress = EditedText(m_ReportAddress, m_Setup.ReportAddress);
    m_Setup.DetailedReport = m_Detailed->isChecked() ? 1 : 0;
    QDialog::accept();
}

} // namespace turnpost
