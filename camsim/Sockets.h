// The POSIX socket chores of the simulator's listeners and connections.
#ifndef TILTWISE_CAMSIM_SOCKETS_H_
#define TILTWISE_CAMSIM_SOCKETS_H_

#include <string>

#include "camsim/Setup.h"

namespace camsim {

std::string ErrnoText(int err);
bool SetNonBlocking(int fd);
void SetCloseOnExec(int fd);
void CloseFd(int* fd);  // and sets it to -1
bool WouldBlock(int err);

// Raises the open-file soft limit to the hard limit: a fleet of a thousand cameras needs more
// descriptors than the usual soft limit of 1024. Returns the limit now in force, or -1 for none.
long long RaiseFileLimit();

// A non-blocking listener on `address` and `port` (0: the system picks). Returns 0 with `fd` and
// the `bound_port`, or the errno of the failure, which `error` describes.
int OpenListener(const ListenAddress& address, int port, int* fd, int* bound_port,
                 std::string* error);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_SOCKETS_H_
