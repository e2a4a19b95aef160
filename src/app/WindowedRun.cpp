#include "app/WindowedRun.h"

#include "platform/Network.h"

#include <QApplication>
#include <QMessageBox>

namespace turnpost {

int RunWindowed(int& argc, char** argv, const CommandLineOptions& options)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("turnpost");
    if (!StartNetwork()) {
        QMessageBox::warning(nullptr, QApplication::applicationName(),
                             "Windows sockets initialization failed.");
        return 1;
    }
    (void)options;
    return 0;
}

} // namespace turnpost
