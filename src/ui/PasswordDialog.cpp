#include "ui/PasswordDialog.h"

#include "ui/DialogSupport.h"

#include <qt6keychain/keychain.h>

#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace turnpost {

namespace {

const QString KeyringService = QStringLiteral("turnpost");
// A keyring that has not answered by then is treated as absent: the host is asked instead.
constexpr int KeyringWaitMs = 3000;

enum class KeyringResult
{
    Found,
    NotFound,
    Unavailable
};

/// Without a session bus there is no keyring service to ask, and trying would only start one.
bool SessionBusExists()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

/// Runs the job and waits for it a short time. The job deletes itself when it ends, also after
/// the wait was given up.
QKeychain::Error RunJob(QKeychain::Job* job, QString* password)
{
    job->setAutoDelete(true);
    QEventLoop loop;
    std::optional<QKeychain::Error> error;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* finished) {
        error = finished->error();
        if (password && *error == QKeychain::NoError)
            *password = static_cast<QKeychain::ReadPasswordJob*>(finished)->textData();
        loop.quit();
    });
    QTimer::singleShot(KeyringWaitMs, &loop, &QEventLoop::quit);
    job->start();
    if (!error)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return error.value_or(QKeychain::OtherError);
}

KeyringResult ReadKeyring(const QString& account, QString& password)
{
    if (!SessionBusExists())
        return KeyringResult::Unavailable;
    auto* job = new QKeychain::ReadPasswordJob(KeyringService);
    job->setInsecureFallback(false);
    job->setKey(account);
    switch (RunJob(job, &password)) {
    case QKeychain::NoError:
        return KeyringResult::Found;
    case QKeychain::EntryNotFound:
        return KeyringResult::NotFound;
    default:
        return KeyringResult::Unavailable;
    }
}

void WriteKeyring(const QString& account, const QString& password)
{
    auto* job = new QKeychain::WritePasswordJob(KeyringService);
    job->setInsecureFallback(false);
    job->setKey(account);
    job->setTextData(password);
    RunJob(job, nullptr);
}

void DeleteKeyring(const QString& account)
{
    if (!SessionBusExists())
        return;
    auto* job = new QKeychain::DeletePasswordJob(KeyringService);
    job->setInsecureFallback(false);
    job->setKey(account);
    RunJob(job, nullptr);
}

} // namespace

void CPasswordDialog::Forget(const std::string& account)
{
    DeleteKeyring(ToQString(account));
}

std::optional<std::string> CPasswordDialog::Ask(const std::string& account, QWidget* parent)
{
    const QString key = ToQString(account);
    QString stored;
    const KeyringResult lookup = ReadKeyring(key, stored);
    if (lookup == KeyringResult::Found && !stored.isEmpty())
        return stored.toStdString();

    CPasswordDialog dialog(account, lookup != KeyringResult::Unavailable, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (dialog.Remember())
        WriteKeyring(key, ToQString(dialog.Password()));
    return dialog.Password();
}

CPasswordDialog::CPasswordDialog(const std::string& account, bool keyringAvailable, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Mail Password"));

    auto* prompt = new QLabel(tr("Password for %1:").arg(ToQString(account)), this);
    prompt->setTextFormat(Qt::PlainText);
    m_Password = new QLineEdit(this);
    m_Password->setObjectName("passwordEdit");
    m_Password->setEchoMode(QLineEdit::Password);
    m_Password->setMinimumWidth(DialogUnitsX(this, 140));
    prompt->setBuddy(m_Password);

    m_Remember = new QCheckBox(tr("Remember in the keyring"), this);
    m_Remember->setObjectName("rememberCheck");
    if (!keyringAvailable) {
        m_Remember->setEnabled(false);
        m_Remember->setToolTip(tr("No keyring service is running on this desktop."));
    }

    auto* okButton = MakeOkButton(this);
    auto* cancelButton = MakeCancelButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {okButton, cancelButton}) {
        button->setMinimumWidth(DialogUnitsX(this, 50));
        buttons->addWidget(button);
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(prompt, 0, 0);
    grid->addWidget(m_Password, 1, 0);
    grid->addWidget(m_Remember, 2, 0);
    grid->setRowMinimumHeight(3, DialogUnitsY(this, 4));
    grid->addLayout(buttons, 4, 0);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    m_Password->setFocus();
}

std::string CPasswordDialog::Password() const
{
    return m_Password->text().toStdString();
}

bool CPasswordDialog::Remember() const
{
    return m_Remember->isEnabled() && m_Remember->isChecked();
}

} // namespace turnpost
