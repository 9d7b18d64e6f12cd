// Root ignores permission bits; while one of these lives, this thread runs
// without CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER, so that a
// read-only file or directory refuses it as it would refuse anyone else.
#ifndef KELVO_TESTS_PERMISSIONS_H
#define KELVO_TESTS_PERMISSIONS_H

#include <linux/capability.h>

class PermissionsCount {
 public:
  PermissionsCount();
  ~PermissionsCount();
  PermissionsCount(const PermissionsCount&) = delete;
  PermissionsCount& operator=(const PermissionsCount&) = delete;

 private:
  __user_cap_data_struct saved_[2] = {};
  bool dropped_ = false;
};

#endif
