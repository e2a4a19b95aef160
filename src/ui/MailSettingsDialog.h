#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace turnpost {

struct GameSetup;
class IUserInterface;

/// The mail server, the login and the players' message. Works on the setup's values and copies
/// every field back on OK; the caller marks the setup modified. Cancel changes nothing.
class CMailSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    CMailSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;

private:
    GameSetup& m_Setup;
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
