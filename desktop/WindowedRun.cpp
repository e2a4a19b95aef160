#include "WindowedRun.h"

#include "platform/Network.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>

namespace turnpost {

int RunWindowed(int& argc, char** argv, const CommandLineOptions& options)
{
    QApplication app(argc, argv);
    // Message boxes without a caption of their own carry the program's name.
    QApplication::setApplicationName("turnpost");
    if (!StartNetwork()) {
        QMessageBox::warning(nullptr, QApplication::applicationName(),
                             "Windows sockets initialization failed.");
        return 1;
    }

    GameDocument document;
    CMainWindow window(document);
    // The command line is carried out before the window is first shown; "-X" ends the program there.
    const CommandLineResult result = ProcessCommandLine(options, document, window.UserInterface(), true);
    if (result.EndProgram)
        return result.ExitStatus;
    window.exec();
    return 0;
}

} // namespace turnpost
