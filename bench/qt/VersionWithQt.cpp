// "turnpost --version" as it ran while the program linked Qt: the same command-line code, with the
// Qt libraries loaded at start-up, for scripts/bench-startup.sh to compare with the Qt-free program.
#include "app/CommandLine.h"
#include "platform/Version.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv)
{
    // Never taken; it keeps the widgets library among the ones loaded at start.
    if (argc > 99) {
        QApplication app(argc, argv);
        return QApplication::exec();
    }
    const auto options = turnpost::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.Version)
        return 2;
    std::cout << turnpost::ProgramName << '\n';
    return 0;
}
