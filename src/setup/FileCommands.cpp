#include "setup/FileCommands.h"

#include "platform/UserInterface.h"
#include "setup/CommandApproval.h"
#include "setup/SetupFile.h"

namespace turnpost {

namespace {

constexpr const char* FileFilter = "Turnpost files (*.tpf)|*.tpf||";
constexpr const char* DefaultExtension = "tpf";

bool IsUntitled(const GameDocument& document)
{
    return document.FilePath == UntitledPath;
}

/// A command the user typed into a settings dialog is his own: saving it approves it for the file it is
/// saved in, for the place its secret goes. From then on it counts as read from that file.
void ApproveTypedCommand(const char* what, const std::string& command, std::string& commandFromFile,
                         const SecretDestination& to, const std::string& path, IUserInterface& ui)
{
    if (!command.empty() && command != commandFromFile) {
        std::string error;
        if (!ApproveCommand(path, command, to, error))
            ui.MessageBox(std::string("The ") + what +
                              " was saved but its approval could not be kept: " + error,
                          {}, MessageButtons::Ok, MessageIcon::Exclamation);
    }
    commandFromFile = command;
}

void ApproveTypedCommands(GameDocument& document, const std::string& path, IUserInterface& ui)
{
    const GameSetup& setup = document.Setup;
    ApproveTypedCommand("password command", setup.SmtpPasswordCommand, document.PasswordCommandFromFile,
                        SmtpDestination(setup), path, ui);
    ApproveTypedCommand("mailbox password command", setup.CollectPasswordCommand,
                        document.CollectPasswordCommandFromFile, CollectDestination(setup), path, ui);
    ApproveTypedCommand("generation command", setup.GenerateCommand, document.GenerateCommandFromFile,
                        GenerationDestination(), path, ui);
}

enum class SaveResult
{
    Saved,
    Cancelled, ///< the host closed the file dialog
    Failed,    ///< the file could not be written; the message was shown
};

SaveResult SaveAs(GameDocument& document, IUserInterface& ui)
{
    ui.View().GatherRows();
    const auto path = ui.SaveFileDialog(FileFilter, DefaultExtension);
    if (!path)
        return SaveResult::Cancelled;
    if (!WriteSetupFile(*path, document.Setup, ui))
        return SaveResult::Failed;
    ApproveTypedCommands(document, *path, ui);
    document.FilePath = *path;
    document.Modified = 0;
    ui.View().ShowFilePath(document.FilePath);
    return SaveResult::Saved;
}

SaveResult Save(GameDocument& document, IUserInterface& ui)
{
    if (IsUntitled(document))
        return SaveAs(document, ui);
    ui.View().GatherRows();
    if (!WriteSetupFile(document.FilePath, document.Setup, ui))
        return SaveResult::Failed;
    ApproveTypedCommands(document, document.FilePath, ui);
    document.Modified = 0;
    return SaveResult::Saved;
}

/// Asks before unsaved changes would be dropped. False when the command must stop: the host cancelled
/// the question, or answered Yes and then cancelled the file dialog or the save failed (full disk, no
/// permission); going on would drop the very changes the host just asked to keep.
bool PromptToSave(GameDocument& document, IUserInterface& ui)
{
    if (!document.Modified)
        return true;
    switch (ui.MessageBox("Save changes?", "Alert!", MessageButtons::YesNoCancel, MessageIcon::Question)) {
    case MessageAnswer::Cancel:
        return false;
    case MessageAnswer::Yes:
        return Save(document, ui) == SaveResult::Saved;
    default:
        return true;
    }
}

} // namespace

void MakeFreshDocument(GameDocument& document)
{
    document.Setup = GameSetup{};
    document.PasswordCommandFromFile.clear();
    document.CollectPasswordCommandFromFile.clear();
    document.GenerateCommandFromFile.clear();
    document.FilePath = UntitledPath;
    document.Modified = 0;
}

void FileNew(GameDocument& document, IUserInterface& ui)
{
    if (!PromptToSave(document, ui))
        return;
    MakeFreshDocument(document);
    IDocumentView& view = ui.View();
    view.ShowFilePath(document.FilePath);
    view.FillRows();
    view.ShowState();
}

void FileOpen(GameDocument& document, IUserInterface& ui)
{
    if (!PromptToSave(document, ui))
        return;
    const auto path = ui.OpenFileDialog(FileFilter, DefaultExtension);
    if (!path)
        return;
    ReadSetupFile(*path, document, ui);
    // Confirming the dialog counts as having dealt with the old setup, even when the new one failed.
    document.Modified = 0;
}

bool FileSave(GameDocument& document, IUserInterface& ui)
{
    return Save(document, ui) == SaveResult::Saved;
}

void FileSaveAs(GameDocument& document, IUserInterface& ui)
{
    SaveAs(document, ui);
}

bool FileExit(GameDocument& document, IUserInterface& ui)
{
    return PromptToSave(document, ui);
}

} // namespace turnpost
