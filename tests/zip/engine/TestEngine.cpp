// A stand-in engine library for the binding tests. Each build reports its own version and path
// (TEST_ENGINE_VERSION, TEST_ENGINE_PATH); TEST_ENGINE_NO_PATH leaves out ZE_Path.
// ZE_UnzExec answers with the value the test puts in the block's first reserved word, or
// throws when the second is set, so the binding's result handling can be driven.
#include <cstdint>
#include <stdexcept>

#include "ZBEngineIntf.h"

namespace {
uint32_t lastAbort = 0;
int calls = 0;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t ZE_UnzExec(UnzipParams* params) {
  ++calls;
  if (params->Reserved116[1]) throw std::runtime_error("engine failure");
  return params->Reserved116[0];
}

__attribute__((visibility("default"))) int32_t ZE_ZipExec(void*) { return -8; }
__attribute__((visibility("default"))) int32_t ZE_Version() { return TEST_ENGINE_VERSION; }
__attribute__((visibility("default"))) int32_t ZE_PrivVersion() { return TEST_ENGINE_VERSION * 10000 + 1; }
__attribute__((visibility("default"))) int32_t ZE_Abort(uint32_t handle) {
  lastAbort = handle;
  return 0;
}
#ifndef TEST_ENGINE_NO_PATH
__attribute__((visibility("default"))) const char* ZE_Path() { return TEST_ENGINE_PATH; }
#endif

// For the tests only.
__attribute__((visibility("default"))) uint32_t TestEngine_LastAbort() { return lastAbort; }
__attribute__((visibility("default"))) int TestEngine_Calls() { return calls; }
}
