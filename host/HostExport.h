// Symbol visibility of the host library. The whole project builds with
// -fvisibility=hidden; the host's public classes are exported so that the
// plug-in and the tool share one copy of their vtables and type information
// (exceptions and dynamic_cast across the library boundary rely on that).
#ifndef RULESCORE_HOST_HOSTEXPORT_H_
#define RULESCORE_HOST_HOSTEXPORT_H_

#define RULESCORE_HOST_API __attribute__((visibility("default")))

#endif  // RULESCORE_HOST_HOSTEXPORT_H_
