#include "ui/MailSettingsDialog.h"

#include "platform/SmtpOptions.h"
#include "platform/UserInterface.h"
#include "send/TestMessage.h"
#include "setup/GameSetup.h"
#include "ui/DialogSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace turnpost {

CMailSettingsDialog::CMailSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_Setup(setup), m_Ui(ui)
{
    setWindowTitle(tr("Mail Settings"));

    m_SmtpServer = NewSetupEdit(this, "smtpServerEdit", setup.SmtpServer);
    m_ReturnAddress = NewSetupEdit(this, "returnAddressEdit", setup.ReturnAddress);
    m_SmtpUser = NewSetupEdit(this, "smtpUserEdit", setup.SmtpUser);
    m_PasswordCommand = NewSetupEdit(this, "passwordCommandEdit", setup.SmtpPasswordCommand);
    m_MessageSubject = NewSetupEdit(this, "messageSubjectEdit", setup.MessageSubject);
    m_SmtpServer->setPlaceholderText(tr("mail.example.com"));
    m_SmtpUser->setPlaceholderText(tr("empty: no login"));
    m_PasswordCommand->setPlaceholderText(tr("empty: ask when sending"));
    m_PasswordCommand->setToolTip(tr("A shell command that prints the password on its first line, "
                                     "for example: pass show mail/smtp"));

    m_Security = new QComboBox(this);
    m_Security->setObjectName("securityCombo");
    m_Security->addItem(tr("None"), static_cast<int>(SmtpSecurity::None));
    m_Security->addItem(tr("STARTTLS"), static_cast<int>(SmtpSecurity::StartTls));
    m_Security->addItem(tr("SSL/TLS"), static_cast<int>(SmtpSecurity::ImplicitTls));
    int securityIndex = m_Security->findData(setup.SmtpSecurity);
    if (securityIndex < 0) {
        // A value this program does not know stays as it is unless the host picks another.
        m_Security->addItem(tr("Other (%1)").arg(setup.SmtpSecurity), setup.SmtpSecurity);
        securityIndex = m_Security->count() - 1;
    }
    m_Security->setCurrentIndex(securityIndex);

    // What the password command (or the dialog) gives: a password, or an OAuth2 access token.
    m_LoginMethod = new QComboBox(this);
    m_LoginMethod->setObjectName("loginMethodCombo");
    // It stands beside the user box without a label of its own.
    m_LoginMethod->setAccessibleName(tr("Login method"));
    m_LoginMethod->addItem(tr("Password"), static_cast<int>(SmtpLoginMethod::Password));
    m_LoginMethod->addItem(tr("OAuth2 token"), static_cast<int>(SmtpLoginMethod::OAuth2));
    m_LoginMethod->setToolTip(tr("OAuth2 token: the password command prints an access token, as "
                                 "Microsoft 365 and Gmail expect"));
    int methodIndex = m_LoginMethod->findData(setup.SmtpLoginMethod);
    if (methodIndex < 0) {
        m_LoginMethod->addItem(tr("Other (%1)").arg(setup.SmtpLoginMethod), setup.SmtpLoginMethod);
        methodIndex = m_LoginMethod->count() - 1;
    }
    m_LoginMethod->setCurrentIndex(methodIndex);
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(m_SmtpUser, 1);
    userRow->addWidget(m_LoginMethod);

    // Never shown and never enabled: it only carries its value through.
    m_UseDefault = new QCheckBox(tr("Use Default"), this);
    m_UseDefault->setObjectName("useDefaultCheck");
    m_UseDefault->setChecked(setup.UseDefaultMessage != 0);
    m_UseDefault->setEnabled(false);
    m_UseDefault->setVisible(false);

    m_MessageText = new QPlainTextEdit(this);
    m_MessageText->setObjectName("messageTextEdit");
    m_MessageText->setPlainText(FromStoredText(setup.MessageText));
    m_ShownText = m_MessageText->document()->toRawText();
    m_MessageText->setTabChangesFocus(true);
    m_MessageText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_MessageText->setMinimumSize(DialogUnitsX(this, 230), DialogUnitsY(this, 44));

    auto* portHint = new QLabel(tr("A port may follow the host after a colon: host:587"), this);
    portHint->setEnabled(false);
    QFont hintFont = portHint->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 0.9);
    portHint->setFont(hintFont);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(tr("SMTP &Server"), m_SmtpServer);
    form->addRow(QString(), portHint);
    form->addRow(tr("&Return Address"), m_ReturnAddress);
    form->addRow(tr("Se&curity"), m_Security);
    auto* userLabel = new QLabel(tr("&User name"), this);
    userLabel->setBuddy(m_SmtpUser);
    form->addRow(userLabel, userRow);
    form->addRow(tr("&Password command"), m_PasswordCommand);
    form->itemAt(0, QFormLayout::FieldRole)->widget()->setMinimumWidth(DialogUnitsX(this, 107));

    auto* okButton = MakeOkButton(this);
    auto* cancelButton = MakeCancelButton(this);
    okButton->setMinimumWidth(DialogUnitsX(this, 50));
    cancelButton->setMinimumWidth(DialogUnitsX(this, 50));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(m_UseDefault);
    buttons->addStretch();
    auto* testButton = new QPushButton(tr("Send &test message"), this);
    testButton->setObjectName("testMessageButton");
    testButton->setAutoDefault(false);
    testButton->setToolTip(tr("Mails a short message to the return address with the settings shown"));
    connect(testButton, &QPushButton::clicked, this, &CMailSettingsDialog::OnSendTestMessage);
    buttons->addWidget(testButton);
    m_TestResult = MakeTestResultLabel(this);

    auto* legend = new QLabel(tr("%G = game name\n%Y = game year\n%P = player num"), this);
    legend->setTextFormat(Qt::PlainText);

    auto* subjectLabel = new QLabel(tr("Message Su&bject"), this);
    subjectLabel->setBuddy(m_MessageSubject);
    auto* textLabel = new QLabel(tr("Message Te&xt"), this);
    textLabel->setBuddy(m_MessageText);

    auto* grid = new QGridLayout(this);
    grid->addLayout(form, 0, 0);
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(subjectLabel, 1, 0, Qt::AlignBottom);
    grid->addWidget(m_MessageSubject, 2, 0);
    grid->addWidget(legend, 1, 1, 2, 1, Qt::AlignLeft | Qt::AlignBottom);
    grid->addWidget(textLabel, 3, 0);
    grid->addWidget(m_MessageText, 4, 0, 1, 2);
    grid->addWidget(m_TestResult, 5, 0, 1, 2);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 1);

    setTabOrder(m_SmtpServer, m_ReturnAddress);
    setTabOrder(m_ReturnAddress, m_Security);
    setTabOrder(m_Security, m_SmtpUser);
    setTabOrder(m_SmtpUser, m_LoginMethod);
    setTabOrder(m_LoginMethod, m_PasswordCommand);
    setTabOrder(m_PasswordCommand, m_MessageSubject);
    setTabOrder(m_MessageSubject, m_MessageText);
    setTabOrder(m_MessageText, okButton);
    setTabOrder(okButton, cancelButton);
    setTabOrder(cancelButton, testButton);
    m_SmtpServer->setFocus();
}

void CMailSettingsDialog::accept()
{
    StoreFields();
    QDialog::accept();
}

void CMailSettingsDialog::done(int result)
{
    if (m_Testing)
        return;
    QDialog::done(result);
}

void CMailSettingsDialog::OnSendTestMessage()
{
    // The settings as they stand in the dialog, without keeping them: Cancel must still drop them.
    const GameSetup kept = m_Setup;
    StoreFields();
    const GameSetup trial = m_Setup;
    m_Setup = kept;
    m_TestResult->setText(tr("Sending a test message..."));
    const bool fromFile = !m_CommandFile.empty() && trial.SmtpPasswordCommand == m_CommandFromFile;
    // The dialog waits for the test: a second click would start a second one, and closing the dialog
    // would lose the outcome. The status window's Cancel stays live.
    m_Testing = true;
    setEnabled(false);
    const std::string outcome =
        SendTestMessage(trial, fromFile ? CommandSource{m_CommandFile} : CommandSource::Typed(), m_Ui);
    setEnabled(true);
    m_Testing = false;
    m_TestResult->setText(ToQString(outcome));
}

void CMailSettingsDialog::SetPasswordCommandSource(const std::string& setupFile, const std::string& command)
{
    m_CommandFile = setupFile;
    m_CommandFromFile = command;
}

void CMailSettingsDialog::StoreFields()
{
    m_Setup.SmtpServer = EditedText(m_SmtpServer, m_Setup.SmtpServer);
    m_Setup.ReturnAddress = EditedText(m_ReturnAddress, m_Setup.ReturnAddress);
    m_Setup.SmtpSecurity = m_Security->currentData().toInt();
    m_Setup.SmtpUser = EditedText(m_SmtpUser, m_Setup.SmtpUser);
    m_Setup.SmtpLoginMethod = m_LoginMethod->currentData().toInt();
    m_Setup.SmtpPasswordCommand = EditedText(m_PasswordCommand, m_Setup.SmtpPasswordCommand);
    // The box cannot change, so the value goes back exactly as it came, whatever number it was.
    if (m_UseDefault->isChecked() != (m_Setup.UseDefaultMessage != 0))
        m_Setup.UseDefaultMessage = m_UseDefault->isChecked() ? 1 : 0;
    m_Setup.MessageSubject = EditedText(m_MessageSubject, m_Setup.MessageSubject);
    // Unchanged text keeps its bytes, line ends included, even where they were not CR LF pairs.
    if (m_MessageText->document()->toRawText() != m_ShownText)
        m_Setup.MessageText = ToStoredText(m_MessageText);
}

} // namespace turnpost
