// The six exports of ZBEngine.dll. Everything else in the library is hidden.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include "UnzCommand.h"
#include "ZBEngineIntf.h"
#include "windows.h"

#define ZB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kEngineVersion = 179;
constexpr int32_t kEngineBuild = 1790001;

// Running commands by handle, so that ZE_Abort can reach one.
std::mutex g_lock;
std::map<uint32_t, std::shared_ptr<std::atomic<bool>>> g_running;
uint32_t g_lastHandle = 0;

struct Registration {
  uint32_t handle = 0;
  std::shared_ptr<std::atomic<bool>> abort = std::make_shared<std::atomic<bool>>(false);
  Registration() {
    std::lock_guard<std::mutex> lock(g_lock);
    do handle = ++g_lastHandle;
    while (handle == 0 || g_running.count(handle));
    g_running[handle] = abort;
  }
  ~Registration() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_running.erase(handle);
  }
};

}  // namespace

ZB_EXPORT int32_t WINAPI ZE_UnzExec(UnzipParams* params) {
  if (!zbe::ValidUnzipParams(params)) return ZB_ERR_INVALID_BLOCK;
  try {
    Registration command;
    zbe::UnzCommand run(*params, command.handle, *command.abort);
    return run.Run();
  } catch (const std::bad_alloc&) {
    return ZB_ERR_NO_MEMORY;
  } catch (const std::exception&) {
    return ZB_ERR_INTERNAL;
  } catch (...) {
    // Only a callback can throw something that is not a standard exception.
    return ZB_ERR_HANDLER;
  }
}

ZB_EXPORT int32_t WINAPI ZE_ZipExec(void*) { return ZB_ERR_NOT_SUPPORTED; }

ZB_EXPORT int32_t WINAPI ZE_Version() { return kEngineVersion; }

ZB_EXPORT int32_t WINAPI ZE_PrivVersion() { return kEngineBuild; }

ZB_EXPORT int32_t WINAPI ZE_Abort(uint32_t commandHandle) {
  std::lock_guard<std::mutex> lock(g_lock);
  auto it = g_running.find(commandHandle);
  if (it == g_running.end()) return 0;
  it->second->store(true);
  return 1;
}

ZB_EXPORT const char* WINAPI ZE_Path() {
  static std::once_flag once;
  static std::string path = "ZBEngine.dll";
  std::call_once(once, [] {
    HMODULE self = GetModuleHandleA("ZBEngine.dll");
    char buf[MAX_PATH * 2];
    DWORD n = self ? GetModuleFileNameA(self, buf, sizeof buf) : 0;
    if (n > 0 && n < sizeof buf) path.assign(buf, n);
  });
  return path.c_str();
}
