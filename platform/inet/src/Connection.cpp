// The connection state: forced by WINPLAT_CONNECTION, else a non-loopback interface that is up
// and carries a route. "offline:N" is offline for the first N milliseconds of the layer's clock
// (which WINPLAT_TIME_SCALE speeds up), counted from the process's first question, then LAN:
// a connection that comes while a program waits for it.
#include <ifaddrs.h>
#include <net/if.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "wininet.h"
#include "winbase.h"

namespace {

// Interfaces named in the kernel's IPv4 and IPv6 route tables.
std::set<std::string> RoutedInterfaces() {
  std::set<std::string> names;
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // column titles
  while (std::getline(v4, line)) {
    std::istringstream in(line);
    std::string name;
    if (in >> name) names.insert(name);
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    std::istringstream in(line);
    std::string field, last;
    while (in >> field) last = field;
    if (!last.empty()) names.insert(last);
  }
  return names;
}

// The first interface that is up, running, not loopback and routed; empty when none.
std::string ConnectedInterface() {
  std::set<std::string> routed = RoutedInterfaces();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::string();
  std::string found;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_name || (a->ifa_flags & IFF_LOOPBACK)) continue;
    if ((a->ifa_flags & (IFF_UP | IFF_RUNNING)) != (IFF_UP | IFF_RUNNING)) continue;
    if (routed.count(a->ifa_name)) {
      found = a->ifa_name;
      break;
    }
  }
  freeifaddrs(list);
  return found;
}

void CopyName(const std::string& name, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return;
  size_t n = name.size() < size - 1 ? name.size() : size - 1;
  std::memcpy(buffer, name.data(), n);
  buffer[n] = 0;
}

// For "offline:N": whether the N milliseconds have passed; false for any other text.
bool OfflinePeriodOver(const char* forced) {
  if (strncasecmp(forced, "offline:", 8) != 0) return false;
  char* end = nullptr;
  unsigned long period = std::strtoul(forced + 8, &end, 10);
  if (end == forced + 8 || *end) return false;
  static const DWORD first = GetTickCount();
  return GetTickCount() - first >= period;
}

}  // namespace

BOOL WINAPI InternetGetConnectedStateEx(LPDWORD lpdwFlags, LPSTR lpszConnectionName, DWORD dwNameLen, DWORD) {
  DWORD flags = 0;
  std::string name;
  const char* forced = std::getenv("WINPLAT_CONNECTION");
  if (forced && (strcasecmp(forced, "lan") == 0 || OfflinePeriodOver(forced))) {
    flags = INTERNET_CONNECTION_LAN;
    name = "LAN";
  } else if (forced && strcasecmp(forced, "configured") == 0) {
    flags = INTERNET_CONNECTION_CONFIGURED;
  } else if (forced && (strcasecmp(forced, "offline") == 0 || strncasecmp(forced, "offline:", 8) == 0)) {
    flags = 0;
  } else {
    name = ConnectedInterface();
    if (!name.empty()) flags = INTERNET_CONNECTION_LAN;
  }
  if (lpdwFlags) *lpdwFlags = flags;
  CopyName(name, lpszConnectionName, dwNameLen);
  return (flags & INTERNET_CONNECTION_LAN) ? TRUE : FALSE;
}
