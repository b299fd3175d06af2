#include "frame/module_entry.h"

#include "imports/base_services.h"
#include "imports/sibling_module.h"
#include "platform/sinks.h"
#include "ydr/frame.h"

namespace ydr::frame {
namespace {

constexpr unsigned short kModuleName[] = {'Y', 'd', 'r', 'M', 'o', 'd', '.', 'Y', 'd', 'r',
                                          'B', 'a', 's', 'e', 'M', 'i', 's', 'c', 0};

YDR_MODULE_INFO g_module_info = {kModuleName, 0, nullptr, 0, 3, 0};

}  // namespace

YDR_MODULE_INFO *ModuleInfo() { return &g_module_info; }

bool ProcessAttach(void *instance) {
  platform::OutputDebugStringA(kAttachMessage);
  g_module_info.instance = instance;
  g_module_info.started = 1;
  bl::YdrInitModule(&g_module_info);
  return true;
}

bool ProcessDetach() {
  platform::OutputDebugStringA(kDetachMessage);
  bl::YdrExitModule(&g_module_info);
  imports::UnloadSiblingModules();
  return true;
}

}  // namespace ydr::frame

extern "C" YDR_API void _LoadYdrBM70DLL(void) {}
