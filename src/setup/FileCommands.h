#pragma once

#include "setup/GameSetup.h"

namespace turnpost {

class IUserInterface;

/// The File menu. Each asks "Save changes?" first where the command would drop unsaved work.
void FileNew(GameDocument& document, IUserInterface& ui);
void FileOpen(GameDocument& document, IUserInterface& ui);
bool FileSave(GameDocument& document, IUserInterface& ui);
void FileSaveAs(GameDocument& document, IUserInterface& ui);
/// True when the program may end (the prompt was not cancelled).
bool FileExit(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
