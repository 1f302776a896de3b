#include "host_library.h"

#include <dlfcn.h>

#include <cstdio>

CreateManagerFunction LoadStrivon(const char* libraryPath, void** handle) {
  *handle = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
  if (!*handle) {
    std::fprintf(stderr, "cannot load %s: %s\n", libraryPath, dlerror());
    return nullptr;
  }
  auto create = reinterpret_cast<CreateManagerFunction>(dlsym(*handle, "CreateRtmpPublishManager"));
  if (!create) {
    std::fprintf(stderr, "no CreateRtmpPublishManager in %s\n", libraryPath);
    dlclose(*handle);
    *handle = nullptr;
  }
  return create;
}

void UnloadStrivon(void* handle) {
  if (handle) dlclose(handle);
}

std::string Utf8(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) {
    const unsigned long c = static_cast<unsigned long>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}
