#pragma once

#include "setup/GameSetup.h"

namespace turnpost {

class IUserInterface;

/// Makes the document a new one that no file holds yet: a fresh setup, untitled and unmodified. The
/// display mode is the window's and stays.
void MakeFreshDocument(GameDocument& document);

/// The File menu. Each asks "Save changes?" first where the command would drop unsaved work.
void FileNew(GameDocument& document, IUserInterface& ui);
void FileOpen(GameDocument& document, IUserInterface& ui);
bool FileSave(GameDocument& document, IUserInterface& ui);
void FileSaveAs(GameDocument& document, IUserInterface& ui);
/// True when the program may end (the prompt was not cancelled).
bool FileExit(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
