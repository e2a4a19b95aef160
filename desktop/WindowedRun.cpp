#include "WindowedRun.h"

#include "platform/Network.h"
#include "platform/Version.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>

namespace turnpost {

int RunWindowed(int& argc, char** argv, const CommandLineOptions& options)
{
    QApplication app(argc, argv);
    // The name Qt files the program's own settings under; windows show the program's name instead.
    QApplication::setApplicationName("turnpost");
    if (!StartNetwork()) {
        QMessageBox::warning(nullptr, QString::fromUtf8(ProductName),
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
