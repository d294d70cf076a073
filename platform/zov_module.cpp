#include "platform/zov_module.h"

#include <dlfcn.h>

#include "platform/zov_paths.h"

CZovResourceModule::~CZovResourceModule() { Unload(); }

bool CZovResourceModule::Load(const std::string& name) {
  Unload();
  if (name.empty()) return false;
  void* handle = nullptr;
  if (name.find('/') == std::string::npos) {
    std::string exe = ZovExecutablePath();
    size_t slash = exe.rfind('/');
    if (slash != std::string::npos) {
      handle = ::dlopen((exe.substr(0, slash + 1) + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
  }
  if (!handle) handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  auto fn = reinterpret_cast<FindFn>(::dlsym(handle, "zov_find_resource"));
  if (!fn) {
    ::dlclose(handle);
    return false;
  }
  handle_ = handle;
  find_ = fn;
  return true;
}

void CZovResourceModule::Unload() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  find_ = nullptr;
}

bool CZovResourceModule::Find(const char* type, int id, const unsigned char** data,
                              unsigned int* size) const {
  const unsigned char* d = nullptr;
  unsigned int n = 0;
  bool found = find_ && type && find_(type, id, &d, &n) == 1 && d != nullptr;
  if (!found) {
    d = nullptr;
    n = 0;
  }
  if (data) *data = d;
  if (size) *size = n;
  return found;
}
