#pragma once
// Whether the machine has a connection to the outside: a default route in
// /proc/net/route, or else a non-loopback network interface that is up.
// The environment variable ZOV_ONLINE=0 or ZOV_ONLINE=1 overrides the check.
#include <string>

bool ZovIsOnline();

// The route-table part of the check, on the text of /proc/net/route: true
// when some line has destination 00000000 and its "up" flag set.
bool ZovRouteTableHasDefault(const std::string& routeTable);
