#include "send/StatusPage.h"

namespace turnpost {

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string StatusPageHtml(const GameSetup& setup, const OrdersInFolder& orders, const std::string& deadline)
{
    const std::string title = EscapeHtml(setup.GameName) + ", year " + std::to_string(orders.Year);
    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>body{font-family:sans-serif}td{padding:0 1em 0 0}</style>\n</head>\n"
                       "<body>\n<h1>" +
                       title + "</h1>\n";
    if (!deadline.empty())
        page += "<p>Deadline: " + EscapeHtml(deadline) + "</p>\n";
    if (!orders.Host.Ok) {
        // The reason names the host file's path, which is not the players' business.
        page += "<p>Orders cannot be checked now.</p>\n";
    } else {
        page += "<table>\n";
        for (int index = 0; index < PlayerCount; ++index) {
            if (!setup.Players[static_cast<std::size_t>(index)].Selected)
                continue;
            const PlayerOrders& player = orders.Players[static_cast<std::size_t>(index)];
            page += "<tr><td>Player " + std::to_string(index + 1) + "</td><td>" +
                    (player.In        ? "orders in"
                     : player.Present ? "orders not counted"
                                      : "no orders yet") +
                    "</td></tr>\n";
        }
        page += "</table>\n";
    }
    return page + "</body>\n</html>\n";
}

} // namespace turnpost
