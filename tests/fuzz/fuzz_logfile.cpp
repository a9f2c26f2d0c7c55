// Feeds arbitrary bytes as a log file: the load plan must never ask for more
// records than the file holds or the capture can follow, and loading them
// into a real capture buffer must stay inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/capture.h"
#include "view/logfile.h"

static Capture g_capture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_capture.records && capture_allocate(&g_capture)) return 0;
  LogLoadPlan plan = logfile_plan_load(data, size, size);
  if (plan.status == kLogLoadNotLog || plan.status == kLogLoadNegative) {
    if (plan.records != 0) std::abort();
    return 0;
  }
  if (plan.records < 0 || plan.records > kCaptureWrapThreshold) std::abort();
  if (static_cast<uint64_t>(plan.records) * kCaptureRecordSize + kLogHeaderBytes > size) std::abort();
  if (capture_replace(&g_capture, data + kLogHeaderBytes, plan.records) != 0) std::abort();
  // An append right after the load must fit.
  uint8_t chunk[kCaptureMaxChunk] = {};
  if (capture_append(&g_capture, chunk, kCaptureMaxChunk, kKindSentCh1, kTimeUnknown) != 0) std::abort();
  if (capture_write_position(&g_capture) > kCaptureWrapThreshold) std::abort();
  return 0;
}
