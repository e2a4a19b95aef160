#include "setup/FileCommands.h"

#include "platform/UserInterface.h"
#include "setup/SetupFile.h"

namespace turnpost {

namespace {

constexpr const char* FileFilter = "Turnpost files (*.tpf)|*.tpf||";
constexpr const char* DefaultExtension = "tpf";

bool IsUntitled(const GameDocument& document)
{
    return document.FilePath == UntitledPath;
}

bool SaveAs(GameDocument& document, IUserInterface& ui)
{
    ui.GatherRows();
    const auto path = ui.SaveFileDialog(FileFilter, DefaultExtension);
    if (!path)
        return false;
    if (!WriteSetupFile(*path, document.Setup, ui))
        return false;
    document.FilePath = *path;
    document.Modified = 0;
    ui.SetCaption(CaptionFor(document.FilePath));
    return true;
}

/// Asks before unsaved changes would be dropped. False when the host cancelled: the command stops.
/// A "Yes" goes on whatever became of the save, so the host is never caught in a loop of dialogs.
bool PromptToSave(GameDocument& document, IUserInterface& ui)
{
    if (!document.Modified)
        return true;
    switch (ui.MessageBox("Save changes?", "Alert!", MessageButtons::YesNoCancel, MessageIcon::Question)) {
    case MessageAnswer::Cancel:
        return false;
    case MessageAnswer::Yes:
        FileSave(document, ui);
        return true;
    default:
        return true;
    }
}

} // namespace

void FileNew(GameDocument& document, IUserInterface& ui)
{
    if (!PromptToSave(document, ui))
        return;
    document.Setup = GameSetup{};
    document.FilePath = UntitledPath;
    document.Modified = 0;
    ui.SetCaption(CaptionFor(document.FilePath));
    ui.FillRows();
    ui.ShowState();
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
    if (IsUntitled(document))
        return SaveAs(document, ui);
    ui.GatherRows();
    if (!WriteSetupFile(document.FilePath, document.Setup, ui))
        return false;
    document.Modified = 0;
    return true;
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
