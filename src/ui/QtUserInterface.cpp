#include "ui/QtUserInterface.h"

#include "platform/Version.h"
#include "ui/CommandApprovalDialog.h"
#include "ui/DialogSupport.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/PasswordDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/SummaryDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace turnpost {

QString QtFileFilter(const std::string& filter)
{
    const QStringList parts = ToQString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty())
            break;
        // Qt reads the patterns from the parentheses that end the description, so those must be the
        // patterns themselves ("*.a;*.b" becomes "*.a *.b").
        if (description.endsWith(')')) {
            const qsizetype open = description.lastIndexOf('(');
            if (open > 0)
                description = description.left(open).trimmed();
        }
        const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        filters << QString("%1 (%2)").arg(description, patterns);
    }
    return filters.join(";;");
}

CQtUserInterface::CQtUserInterface(CMainWindow* window) : m_Window(window) {}

CQtUserInterface::~CQtUserInterface()
{
    // Owned by the main window when there is one; otherwise it is ours.
    if (m_Help && !m_Window)
        delete m_Help;
}

QWidget* CQtUserInterface::Owner() const
{
    // A question asked from within a dialog (the test message in Mail Settings) belongs above that
    // dialog: under it, it would be hidden and, the dialog being modal, could not be answered.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_Window;
}

MessageAnswer CQtUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                           MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(Owner());
    box.setWindowTitle(caption.empty() ? QString::fromUtf8(ProductName) : ToQString(caption));
    box.setText(ToQString(text));
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == MessageButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        return buttons == MessageButtons::YesNoCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    }
}

std::vector<std::string> CQtUserInterface::RunFileDialog(FileDialogKind kind, const std::string& filter,
                                                         const std::string& defaultExt)
{
    const bool save = kind == FileDialogKind::Save;
    QFileDialog dialog(Owner());
    // The desktop's own dialog (or its portal's) where there is one. Qt's own stays where nobody sees
    // the screen (the tests drive it) or when TURNPOST_QT_FILE_DIALOG asks for it.
    if (QGuiApplication::platformName() == QLatin1String("offscreen") ||
        qEnvironmentVariableIsSet("TURNPOST_QT_FILE_DIALOG"))
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The setup's own dialogs and those for the game's files (the universe file, additional files)
    // differ in title and in the folder they start in.
    const bool setupFile = defaultExt == "tpf";
    dialog.setWindowTitle(setupFile
                              ? (save ? QObject::tr("Save Game Setup As") : QObject::tr("Open Game Setup"))
                          : kind == FileDialogKind::OpenSeveral ? QObject::tr("Choose Additional Files")
                                                                : QObject::tr("Choose the Universe File"));
    if (m_Window) {
        const QString folder = m_Window->GameFolder(!setupFile);
        if (!folder.isEmpty())
            dialog.setDirectory(folder);
        if (save && setupFile)
            dialog.selectFile(m_Window->ProposedSetupName());
    }
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A name that does not exist yet is accepted when opening, and an existing one replaced without a
    // question when saving: the command that asked decides what to do with it.
    dialog.setFileMode(kind == FileDialogKind::OpenSeveral ? QFileDialog::ExistingFiles
                                                           : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QtFileFilter(filter));
    dialog.setDefaultSuffix(ToQString(defaultExt));
    std::vector<std::string> chosen;
    if (dialog.exec() == QDialog::Accepted)
        for (const QString& file : dialog.selectedFiles())
            chosen.push_back(QFile::encodeName(file).toStdString());
    return chosen;
}

std::optional<std::string> CQtUserInterface::OpenFileDialog(const std::string& filter,
                                                            const std::string& defaultExt)
{
    auto chosen = RunFileDialog(FileDialogKind::Open, filter, defaultExt);
    return chosen.empty() ? std::nullopt : std::optional<std::string>(std::move(chosen.front()));
}

std::optional<std::string> CQtUserInterface::SaveFileDialog(const std::string& filter,
                                                            const std::string& defaultExt)
{
    auto chosen = RunFileDialog(FileDialogKind::Save, filter, defaultExt);
    return chosen.empty() ? std::nullopt : std::optional<std::string>(std::move(chosen.front()));
}

std::vector<std::string> CQtUserInterface::OpenFilesDialog(const std::string& filter)
{
    return RunFileDialog(FileDialogKind::OpenSeveral, filter, {});
}

void CQtUserInterface::ShowHelp()
{
    if (!m_Help)
        m_Help = new CHelpWindow(Owner());
    m_Help->show();
    m_Help->raise();
    m_Help->activateWindow();
}

std::unique_ptr<IProgressWindow> CQtUserInterface::CreateProgressWindow(const std::string& title)
{
    return std::make_unique<CProgressWindow>(Owner(), title);
}

void CQtUserInterface::ShowResults(const std::string& title, const std::string& text)
{
    CSummaryDialog dialog(text, Owner());
    dialog.setWindowTitle(ToQString(title));
    dialog.exec();
}

void CQtUserInterface::ShowSummary(const std::string& text)
{
    CSummaryDialog dialog(text, Owner());
    dialog.exec();
}

std::optional<std::string> CQtUserInterface::AskPassword(const std::string& account)
{
    return CPasswordDialog::Ask(account, Owner());
}

bool CQtUserInterface::ApprovePasswordCommand(const std::string& command, const std::string& setupPath,
                                              const SecretDestination& to)
{
    CCommandApprovalDialog dialog(command, setupPath, to, Owner());
    return dialog.exec() == QDialog::Accepted;
}

void CQtUserInterface::ForgetPassword(const std::string& account)
{
    CPasswordDialog::Forget(account);
}

void CQtUserInterface::CloseHelp()
{
    if (m_Help)
        m_Help->close();
}

} // namespace turnpost
