#include "ui/CollectSettingsDialog.h"

#include "collect/ImapMailbox.h"
#include "collect/ImapPassword.h"
#include "platform/UserInterface.h"
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

namespace {

QLabel* NewHint(const QString& text, QWidget* parent)
{
    auto* hint = new QLabel(text, parent);
    hint->setEnabled(false);
    hint->setWordWrap(true);
    QFont font = hint->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    hint->setFont(font);
    return hint;
}

/// A choice among known values; a value this program does not know stays as it is unless the host
/// picks another.
void SelectValue(QComboBox* combo, int value)
{
    int index = combo->findData(value);
    if (index < 0) {
        combo->addItem(QObject::tr("Other (%1)").arg(value), value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

} // namespace

std::string TestCollectConnection(const GameSetup& setup, const CommandSource& source, IUserInterface& ui)
{
    const auto failure = [](const std::string& error) { return "** ERROR: " + error; };
    if (setup.CollectServer.empty())
        return failure("No mailbox server specified");
    std::string error;
    const std::optional<std::string> secret = ObtainImapPassword(setup, source, ui, error);
    if (!secret)
        return failure(error);

    const auto progress = ui.CreateProgressWindow("Status");
    progress->SetRange(1, 1);
    progress->SetText("Connecting to " + setup.CollectServer + "...");
    std::string outcome;
    // The mailbox lives and dies on the worker: nothing in here touches the user interface.
    progress->RunWork([&] {
        CImapMailbox mailbox(CollectSettings(setup, *secret));
        if (const ImapCapabilities offered = mailbox.Capabilities(); !offered.Ok) {
            outcome = failure(offered.Error);
            return;
        }
        // The processed and rejected folders are named with it; a server that cannot say is no use.
        if (const ImapSeparator separator = mailbox.HierarchySeparator(); !separator.Ok) {
            outcome = failure(separator.Error);
            return;
        }
        const ImapUids listed = mailbox.ListUids(setup.CollectFolder);
        if (!listed.Ok) {
            outcome = failure(listed.Error);
            return;
        }
        const std::size_t count = listed.Uids.size();
        outcome = "Connected: " + std::to_string(count) + (count == 1 ? " message in " : " messages in ") +
                  setup.CollectFolder;
    });
    progress->StepIt();
    return outcome;
}

CCollectSettingsDialog::CCollectSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_Setup(setup), m_Ui(ui)
{
    setWindowTitle(tr("Collect Settings"));

    m_Server = NewSetupEdit(this, "collectServerEdit", setup.CollectServer);
    m_User = NewSetupEdit(this, "collectUserEdit", setup.CollectUser);
    m_PasswordCommand = NewSetupEdit(this, "collectPasswordCommandEdit", setup.CollectPasswordCommand);
    m_Folder = NewSetupEdit(this, "collectFolderEdit", setup.CollectFolder);
    m_ProcessedFolder = NewSetupEdit(this, "processedFolderEdit", setup.ProcessedFolder);
    m_RejectedFolder = NewSetupEdit(this, "rejectedFolderEdit", setup.RejectedFolder);
    m_AcknowledgeSubject = NewSetupEdit(this, "acknowledgeSubjectEdit", setup.AcknowledgeSubject);
    m_Server->setPlaceholderText(tr("imap.example.com"));
    m_PasswordCommand->setPlaceholderText(tr("empty: ask when collecting"));
    m_PasswordCommand->setToolTip(tr("A shell command that prints the password on its first line, "
                                     "for example: pass show mail/imap"));
    m_Folder->setToolTip(tr("The folder the players' orders arrive in"));
    m_ProcessedFolder->setToolTip(tr("Where a message goes once its orders are taken; "
                                     "'/' between levels, made when missing"));
    m_RejectedFolder->setToolTip(tr("Where a message goes when all its orders were refused; "
                                    "'/' between levels, made when missing"));

    m_Security = new QComboBox(this);
    m_Security->setObjectName("collectSecurityCombo");
    m_Security->addItem(tr("None"), static_cast<int>(ImapSecurity::None));
    m_Security->addItem(tr("STARTTLS"), static_cast<int>(ImapSecurity::StartTls));
    m_Security->addItem(tr("SSL/TLS"), static_cast<int>(ImapSecurity::ImplicitTls));
    m_Security->setToolTip(tr("None sends the password in plain text, so it is allowed only to a server "
                              "on this machine"));
    SelectValue(m_Security, setup.CollectSecurity);

    m_LoginMethod = new QComboBox(this);
    m_LoginMethod->setObjectName("collectLoginMethodCombo");
    // It stands beside the user box without a label of its own.
    m_LoginMethod->setAccessibleName(tr("Login method"));
    m_LoginMethod->addItem(tr("Password"), static_cast<int>(ImapLogin::Password));
    m_LoginMethod->addItem(tr("OAuth2 token"), static_cast<int>(ImapLogin::OAuth2));
    m_LoginMethod->setToolTip(tr("OAuth2 token: the password command prints an access token, as "
                                 "Microsoft 365 and Gmail expect"));
    SelectValue(m_LoginMethod, setup.CollectLoginMethod);
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(m_User, 1);
    userRow->addWidget(m_LoginMethod);

    m_Acknowledge = new QCheckBox(tr("Ac&knowledge orders"), this);
    m_Acknowledge->setObjectName("acknowledgeCheck");
    m_Acknowledge->setToolTip(tr("Each sender of an order file gets a reply saying whether it was taken"));
    m_Acknowledge->setChecked(setup.AcknowledgeOrders != 0);

    m_AcknowledgeText = new QPlainTextEdit(this);
    m_AcknowledgeText->setObjectName("acknowledgeTextEdit");
    m_AcknowledgeText->setPlainText(FromStoredText(setup.AcknowledgeText));
    m_ShownText = m_AcknowledgeText->document()->toRawText();
    m_AcknowledgeText->setTabChangesFocus(true);
    m_AcknowledgeText->setMinimumSize(DialogUnitsX(this, 230), DialogUnitsY(this, 32));
    // The acknowledgement's own fields mean nothing while none is sent.
    const auto showAcknowledge = [this] {
        m_AcknowledgeSubject->setEnabled(m_Acknowledge->isChecked());
        m_AcknowledgeText->setEnabled(m_Acknowledge->isChecked());
    };
    connect(m_Acknowledge, &QCheckBox::toggled, this, showAcknowledge);
    showAcknowledge();

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(tr("IMAP &Server"), m_Server);
    form->addRow(QString(), NewHint(tr("A port may follow the host after a colon: host:993"), this));
    form->addRow(tr("Se&curity"), m_Security);
    form->addRow(QString(), NewHint(tr("None is allowed only to a server on this machine"), this));
    auto* userLabel = new QLabel(tr("&User name"), this);
    userLabel->setBuddy(m_User);
    form->addRow(userLabel, userRow);
    form->addRow(tr("&Password command"), m_PasswordCommand);
    form->addRow(tr("&Folder"), m_Folder);
    form->addRow(tr("P&rocessed folder"), m_ProcessedFolder);
    form->addRow(tr("R&ejected folder"), m_RejectedFolder);
    m_Server->setMinimumWidth(DialogUnitsX(this, 107));

    auto* buttons = MakeOkCancelColumn(this);
    buttons->addStretch();
    auto* testButton = new QPushButton(tr("&Test connection"), this);
    testButton->setObjectName("testConnectionButton");
    testButton->setAutoDefault(false);
    testButton->setToolTip(tr("Logs in with the settings shown and counts the messages in the folder"));
    connect(testButton, &QPushButton::clicked, this, &CCollectSettingsDialog::OnTestConnection);
    buttons->addWidget(testButton);

    m_TestResult = MakeTestResultLabel(this);

    auto* legend = new QLabel(tr("%R = result\n%G = game name\n%Y = game year\n%P = player num"), this);
    legend->setTextFormat(Qt::PlainText);
    auto* subjectLabel = new QLabel(tr("Acknowledgement Su&bject"), this);
    subjectLabel->setBuddy(m_AcknowledgeSubject);
    auto* textLabel = new QLabel(tr("Acknowledgement Te&xt"), this);
    textLabel->setBuddy(m_AcknowledgeText);

    auto* grid = new QGridLayout(this);
    grid->addLayout(form, 0, 0);
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(m_Acknowledge, 1, 0);
    grid->addWidget(subjectLabel, 2, 0, Qt::AlignBottom);
    grid->addWidget(m_AcknowledgeSubject, 3, 0);
    grid->addWidget(legend, 1, 1, 3, 1, Qt::AlignLeft | Qt::AlignBottom);
    grid->addWidget(textLabel, 4, 0);
    grid->addWidget(m_AcknowledgeText, 5, 0, 1, 2);
    grid->addWidget(m_TestResult, 6, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);

    QWidget* order[] = {m_Server,
                        m_Security,
                        m_User,
                        m_LoginMethod,
                        m_PasswordCommand,
                        m_Folder,
                        m_ProcessedFolder,
                        m_RejectedFolder,
                        m_Acknowledge,
                        m_AcknowledgeSubject,
                        m_AcknowledgeText,
                        findChild<QPushButton*>("okButton"),
                        findChild<QPushButton*>("cancelButton"),
                        testButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_Server->setFocus();
}

void CCollectSettingsDialog::accept()
{
    StoreFields();
    QDialog::accept();
}

void CCollectSettingsDialog::done(int result)
{
    if (m_Testing)
        return;
    QDialog::done(result);
}

void CCollectSettingsDialog::SetPasswordCommandSource(const std::string& setupFile,
                                                      const std::string& command)
{
    m_CommandFile = setupFile;
    m_CommandFromFile = command;
}

void CCollectSettingsDialog::OnTestConnection()
{
    // The settings as they stand in the dialog, without keeping them: Cancel must still drop them.
    const GameSetup kept = m_Setup;
    StoreFields();
    const GameSetup trial = m_Setup;
    m_Setup = kept;
    m_TestResult->setText(tr("Connecting..."));
    const bool fromFile = !m_CommandFile.empty() && trial.CollectPasswordCommand == m_CommandFromFile;
    // A second click would start a second test, and closing the dialog would lose the outcome; the
    // status window's Cancel stays live.
    m_Testing = true;
    setEnabled(false);
    const std::string outcome =
        TestCollectConnection(trial, fromFile ? CommandSource{m_CommandFile} : CommandSource::Typed(), m_Ui);
    setEnabled(true);
    m_Testing = false;
    m_TestResult->setText(ToQString(outcome));
}

void CCollectSettingsDialog::StoreFields()
{
    m_Setup.CollectServer = EditedText(m_Server, m_Setup.CollectServer);
    m_Setup.CollectSecurity = m_Security->currentData().toInt();
    m_Setup.CollectUser = EditedText(m_User, m_Setup.CollectUser);
    m_Setup.CollectLoginMethod = m_LoginMethod->currentData().toInt();
    m_Setup.CollectPasswordCommand = EditedText(m_PasswordCommand, m_Setup.CollectPasswordCommand);
    m_Setup.CollectFolder = EditedText(m_Folder, m_Setup.CollectFolder);
    m_Setup.ProcessedFolder = EditedText(m_ProcessedFolder, m_Setup.ProcessedFolder);
    m_Setup.RejectedFolder = EditedText(m_RejectedFolder, m_Setup.RejectedFolder);
    // Any non-zero value is on: an unchanged box keeps the number it came with.
    if (m_Acknowledge->isChecked() != (m_Setup.AcknowledgeOrders != 0))
        m_Setup.AcknowledgeOrders = m_Acknowledge->isChecked() ? 1 : 0;
    m_Setup.AcknowledgeSubject = EditedText(m_AcknowledgeSubject, m_Setup.AcknowledgeSubject);
    // Unchanged text keeps its bytes, line ends included.
    if (m_AcknowledgeText->document()->toRawText() != m_ShownText)
        m_Setup.AcknowledgeText = ToStoredText(m_AcknowledgeText);
}

} // namespace turnpost
