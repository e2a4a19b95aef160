#pragma once

#include "platform/UserInterface.h"

namespace turnpost {

/// Shuts the window's controls off while a run goes and on again however it ends: the run reads the
/// setup from another thread meanwhile.
class BusyGuard
{
public:
    explicit BusyGuard(IUserInterface& ui) : m_View(ui.View()) { m_View.SetBusy(true); }
    ~BusyGuard() { m_View.SetBusy(false); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    IDocumentView& m_View;
};

} // namespace turnpost
