#include "cli/standard_fds.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

void OpenClosedStandardFds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;  // open
    // open() takes the lowest free number, which is this one.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}
#else
// Windows: a process without a console has no standard handles, and the C
// library refuses writes to them instead of handing their numbers out.
void OpenClosedStandardFds() {}
#endif
