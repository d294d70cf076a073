#pragma once
// Loader of a resource module: a shared library loaded by name with dlopen,
// which exports
//   extern "C" int zov_find_resource(const char* type, int id,
//                                    const unsigned char** data, unsigned int* size);
// returning 1 and the resource's bytes when resource `id` of `type` ("PNG" or
// "STRING") exists, 0 otherwise. The bytes belong to the module and stay
// valid while it is loaded.
#include <string>

class CZovResourceModule {
 public:
  CZovResourceModule() = default;
  ~CZovResourceModule();
  CZovResourceModule(const CZovResourceModule&) = delete;
  CZovResourceModule& operator=(const CZovResourceModule&) = delete;

  // A bare file name is looked for in the executable's folder first, then on
  // the loader's search path; a name with "/" is loaded as it stands. Any
  // module loaded before is unloaded. False when the library cannot be loaded
  // or does not export the look-up.
  bool Load(const std::string& name);
  void Unload();
  bool IsLoaded() const { return find_ != nullptr; }

  // The resource's bytes; false (and null, 0) when absent or not loaded.
  bool Find(const char* type, int id, const unsigned char** data, unsigned int* size) const;

 private:
  using FindFn = int (*)(const char*, int, const unsigned char**, unsigned int*);
  void* handle_ = nullptr;
  FindFn find_ = nullptr;
};
