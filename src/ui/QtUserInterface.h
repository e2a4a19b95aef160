#pragma once

#include "platform/UserInterface.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace turnpost {

class CHelpWindow;
class CMainWindow;

/// The desktop's answers to the logic's questions: Qt message boxes, the desktop's file dialogs (Qt's own
/// in tests), opening in the game's folder, the help window, the progress window and the Summary and
/// password dialogs. Its dialogs belong to the main window given, which attaches itself as the view.
class CQtUserInterface : public IUserInterface
{
public:
    explicit CQtUserInterface(CMainWindow* window = nullptr);
    ~CQtUserInterface() override;

    MessageAnswer MessageBox(const std::string& text, const std::string& caption = {},
                             MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::None) override;
    std::optional<std::string> OpenFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    std::optional<std::string> SaveFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    std::vector<std::string> OpenFilesDialog(const std::string& filter) override;
    void ShowHelp() override;
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) override;
    void ShowSummary(const std::string& text) override;
    void ShowResults(const std::string& title, const std::string& text) override;
    std::optional<std::string> AskPassword(const std::string& account) override;
    bool ApprovePasswordCommand(const std::string& command, const std::string& setupPath,
                                const SecretDestination& to) override;
    void ForgetPassword(const std::string& account) override;

    /// Closes the help window if it is open; the main window calls it as it goes.
    void CloseHelp();

private:
    enum class FileDialogKind
    {
        Open,
        OpenSeveral,
        Save
    };
    std::vector<std::string> RunFileDialog(FileDialogKind kind, const std::string& filter,
                                           const std::string& defaultExt);
    QWidget* Owner() const;

    CMainWindow* m_Window;
    QPointer<CHelpWindow> m_Help;
};

/// Turns a filter of the form "Description|pattern|...||" into Qt's "Description (pattern);;...".
QString QtFileFilter(const std::string& filter);

} // namespace turnpost
