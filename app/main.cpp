#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "app/RunDriver.h"

namespace {

// A closed standard stream would hand its number to the next file opened,
// and console lines would land in it. Standard output is held by a read-only
// /dev/null instead, so writing it fails and the run reports that.
void HoldClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
  }
}

}  // namespace

int main() {
  HoldClosedStandardStreams();
  // A closed pipe or a file-size limit makes the write fail, and that is
  // reported like any failed write instead of ending the process silently.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  return RunCircog();
}
