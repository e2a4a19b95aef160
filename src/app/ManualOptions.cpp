// Prints the manual page's OPTIONS section, made from the same table as the parser and --help; the
// build puts it into the page.
#include "app/CommandOptions.h"

#include <iostream>

int main()
{
    std::cout << turnpost::ManualOptionsSection();
    return std::cout.flush() ? 0 : 1;
}
