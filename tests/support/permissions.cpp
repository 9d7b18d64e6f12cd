#include "tests/support/permissions.h"

#include <sys/syscall.h>
#include <unistd.h>

PermissionsCount::PermissionsCount() {
  if (geteuid() != 0) return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  if (syscall(SYS_capget, &header, saved_) != 0) return;
  __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
  reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
  dropped_ = syscall(SYS_capset, &header, reduced) == 0;
}

PermissionsCount::~PermissionsCount() {
  if (!dropped_) return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  syscall(SYS_capset, &header, saved_);
}
