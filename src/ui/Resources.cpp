#include "ui/Resources.h"

#include <QtGlobal>

// Outside the namespace: the macro declares a function of the global namespace.
static void RegisterResources()
{
    Q_INIT_RESOURCE(Resources);
}

namespace turnpost {

void LoadResources()
{
    static const bool registered = (RegisterResources(), true);
    (void)registered;
}

} // namespace turnpost
