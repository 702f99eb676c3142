#pragma once

#include "model/Server.h"

namespace quarlo {

// A server's definition is everything but its enabled flag: what the list
// is and how it answers. The packaged configuration supplies definitions;
// a user's choice to use a list or not is kept apart from them.

// A copy that shares nothing with server, its answer table included, so
// later edits of either leave the other as it was.
ServerPtr CopyServer(const Server& server);
// Gives target every value of source (the enabled flag included), keeping
// target's identity for everything that refers to it.
void AssignServer(Server& target, const Server& source);
// Name, zone, home page, kind, IPv6, test entry, public, bit mask and every answer
// (address, reason, listing) in order; the enabled flag plays no part.
bool SameDefinition(const Server& a, const Server& b);

} // namespace quarlo
