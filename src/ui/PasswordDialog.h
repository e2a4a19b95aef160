#pragma once

#include <QDialog>

#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace turnpost {

/// Asks for the mail password of one account, offering to keep it in the desktop's keyring.
class CPasswordDialog : public QDialog
{
    Q_OBJECT
public:
    /// The password kept in the keyring for the account, or else the one the host types;
    /// nullopt when he cancels. Works without a keyring service: it is then simply not used.
    static std::optional<std::string> Ask(const std::string& account, QWidget* parent);
    /// Drops what the keyring keeps for the account (a password the server refused).
    static void Forget(const std::string& account);

    /// keyringAvailable: whether the "Remember" choice can be offered.
    CPasswordDialog(const std::string& account, bool keyringAvailable, QWidget* parent = nullptr);

    std::string Password() const;
    bool Remember() const;

private:
    QLineEdit* m_Password;
    QCheckBox* m_Remember;
};

} // namespace turnpost
