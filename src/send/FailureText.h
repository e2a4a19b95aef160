#pragma once

#include "mail/SmtpError.h"

#include <string>

namespace turnpost {

/// The error text of a player's line (and of the report mail) for a failed connection or delivery, on
/// one printable line:
/// - a failed connection: "Connection error N (reason)", followed by ": " and the server's reply when
///   there is one; the reason names the step where the reply alone would mislead ("unexpected reply
///   to AUTH: 250 2.0.0 Ok") and tells time-outs and closed connections in words;
/// - a refused delivery: the server's reply, as it gave it;
/// - a delivery that broke off: the reason in words, such as "timed out waiting for the reply to DATA";
/// - whatever the connection could only say in words (a TLS failure, a refused address): those words.
std::string FailureText(const SmtpError& error);

} // namespace turnpost
