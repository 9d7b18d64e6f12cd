#include "plugin/loaded_copies.h"

#include <elf.h>
#include <link.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr char kSoname[] = "libKelvo.so";

// The object's own soname, read from its dynamic section in memory. The
// loader may or may not have relocated the string table's address: it is
// taken as it stands when it lies in one of the object's segments.
const char* SonameOf(const dl_phdr_info* info) {
  const ElfW(Dyn)* dynamic = nullptr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_DYNAMIC) {
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
    }
  }
  if (dynamic == nullptr) return nullptr;
  ElfW(Addr) strtab = 0;
  ElfW(Xword) soname = 0;
  bool named = false;
  for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
    if (d->d_tag == DT_STRTAB) strtab = d->d_un.d_ptr;
    if (d->d_tag == DT_SONAME) {
      soname = d->d_un.d_val;
      named = true;
    }
  }
  if (!named || strtab == 0) return nullptr;
  bool absolute = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    const ElfW(Addr) start = info->dlpi_addr + p.p_vaddr;
    if (p.p_type == PT_LOAD && strtab >= start && strtab < start + p.p_memsz) absolute = true;
  }
  return reinterpret_cast<const char*>((absolute ? 0 : info->dlpi_addr) + strtab + soname);
}

struct Search {
  uintptr_t self;  // an address inside this copy
  bool selfSeen;
  bool otherFirst;
};

int Visit(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  bool isSelf = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    const uintptr_t start = info->dlpi_addr + p.p_vaddr;
    if (p.p_type == PT_LOAD && search->self >= start && search->self < start + p.p_memsz) isSelf = true;
  }
  if (isSelf) {
    search->selfSeen = true;
    return 1;  // objects are visited in the order they were loaded
  }
  const char* soname = SonameOf(info);
  if (soname != nullptr && std::strcmp(soname, kSoname) == 0) search->otherFirst = true;
  return search->otherFirst ? 1 : 0;
}

}  // namespace

bool AnotherCopyLoadedFirst() {
  Search search = {reinterpret_cast<uintptr_t>(&AnotherCopyLoadedFirst), false, false};
  dl_iterate_phdr(Visit, &search);
  return search.otherFirst;
}
