#include "ui/AdvancedSettingsDialog.h"

#include "platform/Text.h"
#include "platform/UserInterface.h"
#include "send/TurnDeadline.h"
#include "setup/GameSetup.h"
#include "ui/DialogSupport.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <string>

namespace turnpost {

std::optional<std::int32_t> ParseIntegerField(const std::string& whole)
{
    const std::string_view text = TrimBlanks(std::string_view(whole).substr(0, 31));
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) {
        // Growing stops just past the range, so long digit runs cannot overflow.
        magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), limit);
        ++i;
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());

    if (value == 0 && (text.empty() || text[0] != '0'))
        return std::nullopt;
    if (i != text.size())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

CAdvancedSettingsDialog::CAdvancedSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_Setup(setup), m_Ui(ui)
{
    setWindowTitle(tr("Advanced Settings"));
    RemoveCloseBox(this);

    m_SmtpTimeout = new QLineEdit(QString::number(setup.SmtpTimeout), this);
    m_SmtpTimeout->setObjectName("smtpTimeoutEdit");
    m_Pause = new QLineEdit(QString::number(setup.PauseAfterConnection), this);
    m_Pause->setObjectName("pauseEdit");
    m_DeadlineHours = new QLineEdit(QString::number(setup.TurnDeadlineHours), this);
    m_DeadlineHours->setObjectName("deadlineHoursEdit");
    for (QLineEdit* edit : {m_SmtpTimeout, m_Pause, m_DeadlineHours})
        edit->setFixedWidth(
            std::max(DialogUnitsX(this, 35), edit->fontMetrics().horizontalAdvance("-2147483648") + 12));

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(tr("SMTP &Timeout (ms)"), m_SmtpTimeout);
    form->addRow(tr("&Pause after connection (ms)"), m_Pause);
    form->addRow(tr("&Deadline (hours after the turn mail, 0 = none)"), m_DeadlineHours);
    m_CheckTurnFiles = new QCheckBox(tr("C&heck turn files before sending"), this);
    m_CheckTurnFiles->setObjectName("checkTurnFilesCheck");
    m_CheckTurnFiles->setChecked(setup.CheckTurnFiles != 0);
    form->addRow(m_CheckTurnFiles);
    m_GenerateCommand = NewSetupEdit(this, "generateCommandEdit", setup.GenerateCommand);
    m_GenerateCommand->setMinimumWidth(DialogUnitsX(this, 180));
    form->addRow(tr("&Generate command:"), m_GenerateCommand);

    auto* buttons = MakeOkCancelColumn(this);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(DialogUnitsX(this, 12));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_SmtpTimeout->setFocus();
}

std::optional<std::int32_t> CAdvancedSettingsDialog::ReadField(QLineEdit* edit)
{
    const auto value = ParseIntegerField(edit->text().toStdString());
    if (!value) {
        m_Ui.MessageBox("Please enter an integer.", {}, MessageButtons::Ok, MessageIcon::Exclamation);
        edit->setFocus();
        edit->selectAll();
    }
    return value;
}

void CAdvancedSettingsDialog::accept()
{
    const auto timeout = ReadField(m_SmtpTimeout);
    if (!timeout)
        return;
    const auto pause = ReadField(m_Pause);
    if (!pause)
        return;
    const auto deadline = ReadField(m_DeadlineHours);
    if (!deadline)
        return;
    if (!IsValidDeadlineHours(*deadline)) {
        m_Ui.MessageBox("The deadline must be from 0 to " + std::to_string(MaxTurnDeadlineHours) +
                            " hours (0 for none).",
                        {}, MessageButtons::Ok, MessageIcon::Exclamation);
        m_DeadlineHours->setFocus();
        m_DeadlineHours->selectAll();
        return;
    }
    m_Setup.SmtpTimeout = *timeout;
    m_Setup.TurnDeadlineHours = *deadline;
    m_Setup.PauseAfterConnection = *pause;
    m_Setup.CheckTurnFiles = m_CheckTurnFiles->isChecked() ? 1 : 0;
    m_Setup.GenerateCommand = EditedText(m_GenerateCommand, m_Setup.GenerateCommand);
    QDialog::accept();
}

} // namespace turnpost
