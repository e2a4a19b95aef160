#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace turnpost {

struct CommandSource;
struct GameSetup;
class IUserInterface;

/// Where the players' orders are collected from: the mailbox, its folders and the acknowledgement each
/// sender gets. Works on the setup's values and copies every field back on OK; Cancel changes nothing.
/// "Test connection" tries the mailbox as the dialog shows it, without keeping the values.
class CCollectSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    CCollectSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;
    /// Not while a connection test is under way: its outcome belongs in this dialog.
    void done(int result) override;

    /// Where the setup's mailbox password command came from: the setup file it was read from and the
    /// command as read. While the dialog still shows that command, a test asks to approve it first.
    void SetPasswordCommandSource(const std::string& setupFile, const std::string& command);

private:
    /// Writes what the dialog shows into the setup.
    void StoreFields();
    void OnTestConnection();

    GameSetup& m_Setup;
    IUserInterface& m_Ui;
    bool m_Testing = false;
    std::string m_CommandFile;
    std::string m_CommandFromFile;
    QLineEdit* m_Server;
    QComboBox* m_Security;
    QLineEdit* m_User;
    QComboBox* m_LoginMethod;
    QLineEdit* m_PasswordCommand;
    QLineEdit* m_Folder;
    QLineEdit* m_ProcessedFolder;
    QLineEdit* m_RejectedFolder;
    QCheckBox* m_Acknowledge;
    QLineEdit* m_AcknowledgeSubject;
    QPlainTextEdit* m_AcknowledgeText;
    QString m_ShownText;
    QLabel* m_TestResult;
};

/// Opens the setup's mailbox (the password obtained as a collection obtains it), asks what the server
/// offers and lists the collect folder: "Connected: 3 messages in INBOX", or "** ERROR: " and why. The
/// network work runs through the progress window's RunWork, so a window stays live meanwhile.
std::string TestCollectConnection(const GameSetup& setup, const CommandSource& source, IUserInterface& ui);

} // namespace turnpost
