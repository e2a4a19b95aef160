#pragma once

#include "game/OrderFiles.h"
#include "setup/GameSetup.h"

#include <string>
#include <string_view>

namespace turnpost {

/// text with &, <, >, " and ' written as entities, so that it shows as written and never as markup.
std::string EscapeHtml(std::string_view text);

/// A page the host may publish for his players: the game, the year, the deadline (empty: none) and
/// whose orders are in. It names no address and no path, and needs nothing beyond itself.
std::string StatusPageHtml(const GameSetup& setup, const OrdersInFolder& orders, const std::string& deadline);

} // namespace turnpost
