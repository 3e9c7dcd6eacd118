// HMODULE -> the module's file and load offset.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include "winplat.h"

namespace winplat {
namespace {

int FirstObject(struct dl_phdr_info* info, size_t, void* data) {
  *static_cast<uintptr_t*>(data) = uintptr_t(info->dlpi_addr);
  return 1;  // the first object visited is the program
}

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "/proc/self/exe";
  std::string path(buf, size_t(n));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  return path;
}

}  // namespace

bool GetModuleImage(HMODULE module, ModuleImage& image) {
  if (IsSystemModule(module)) return false;
  if (module) {
    struct link_map* map = nullptr;
    if (::dlinfo(static_cast<void*>(module), RTLD_DI_LINKMAP, &map) != 0 || !map) return false;
    if (map->l_name && map->l_name[0]) {
      image.path = map->l_name;
      image.bias = uintptr_t(map->l_addr);
      image.program = false;
      return true;
    }
  }
  uintptr_t bias = 0;
  ::dl_iterate_phdr(FirstObject, &bias);
  image.path = ProgramPath();
  image.bias = bias;
  image.program = true;
  return true;
}

}  // namespace winplat
