// Stand-ins until the setup file and the File commands land; delete this file then.
#include "setup/FileCommands.h"
#include "setup/SetupFile.h"

namespace turnpost {
std::string CaptionFor(const std::string& filePath) { return "Turnpost - " + filePath; }
bool WriteSetupFile(const std::string&, const GameSetup&, IUserInterface&) { return false; }
int ReadSetupFileVersion(const std::string&) { return -1; }
bool ReadSetupFile(const std::string&, GameDocument&, IUserInterface&) { return false; }
std::string SerializeSetup(const GameSetup&) { return {}; }
void FileNew(GameDocument&, IUserInterface&) {}
void FileOpen(GameDocument&, IUserInterface&) {}
bool FileSave(GameDocument&, IUserInterface&) { return false; }
void FileSaveAs(GameDocument&, IUserInterface&) {}
bool FileExit(GameDocument&, IUserInterface&) { return true; }
} // namespace turnpost
