// Linux: fills closed standard descriptors and ignores the signals that
// would end a run whose console or file fails.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "harness/platform.h"

namespace harness::platform {
namespace {

// A closed standard descriptor would be taken by the results file, and the
// console report would then land in it. Each gap is filled with /dev/null,
// opened so that it fails the same way a closed descriptor does.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      (void)open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);  // held until exit
    }
  }
}

}  // namespace

void prepare_process() {
  hold_standard_descriptors();
  // A vanished console reader or a file-size limit must fail the write, as a
  // full disk does, instead of killing the run.
  // (Setting a disposition for these two signals cannot fail.)
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace harness::platform
