#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace turnpost {

struct GameSetup;
class IUserInterface;

/// The mail server, the login and the players' message. Works on the setup's values and copies
/// every field back on OK; the caller marks the setup modified. Cancel changes nothing. "Send test
/// message" tries the settings as they stand, without keeping them.
class CMailSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    CMailSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;
    /// Not while a test message is under way: its outcome belongs in this dialog.
    void done(int result) override;

    /// Where the setup's password command came from: the setup file it was read from and the command
    /// as read. While the dialog still shows that command, a test message asks to approve it first.
    void SetPasswordCommandSource(const std::string& setupFile, const std::string& command);

private:
    /// Writes what the dialog shows into the setup.
    void StoreFields();
    void OnSendTestMessage();

    GameSetup& m_Setup;
    IUserInterface& m_Ui;
    QLabel* m_TestResult;
    bool m_Testing = false;
    std::string m_CommandFile;
    std::string m_CommandFromFile;
    QLineEdit* m_SmtpServer;
    QLineEdit* m_ReturnAddress;
    QComboBox* m_Security;
    QLineEdit* m_SmtpUser;
    QComboBox* m_LoginMethod;
    QLineEdit* m_PasswordCommand;
    QCheckBox* m_UseDefault;
    QLineEdit* m_MessageSubject;
    QPlainTextEdit* m_MessageText;
    QString m_ShownText;
};

} // namespace turnpost
