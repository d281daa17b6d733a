#include "ProcessStartup.h"

#include "zyrMemory.h"

#include <fcntl.h>
#include <unistd.h>

ProcessStartup *ProcessStartup_new() {
  ProcessStartup *startup = zyrMemory_allocateZeroedArray<ProcessStartup>(1, __func__);
  for (int32_t &descriptor : startup->m_standard)
    descriptor = -1;
  return startup;
}

void ProcessStartup_delete(ProcessStartup *startup) {
  if (startup != nullptr)
    zyrMemory_free(startup, __func__);
}

void ProcessStartup_print(const ProcessStartup *startup, FILE *stream) {
  std::fprintf(stream, "m_standard     = %d %d %d\n", startup->m_standard[0], startup->m_standard[1],
               startup->m_standard[2]);
  std::fprintf(stream, "m_useStandard  = %d\n", startup->m_useStandard);
  std::fprintf(stream, "m_inherited    =");
  for (int32_t i = 0; i < startup->m_noOfInherited; ++i)
    std::fprintf(stream, " %d", startup->m_inherited[i]);
  std::fprintf(stream, "\n");
}

int ProcessStartup_setStandardStream(ProcessStartup *startup, int32_t stream, int32_t descriptor) {
  if (startup == nullptr || stream < 0 || stream > 2 || descriptor < 0)
    return 0;
  startup->m_standard[stream] = descriptor;
  startup->m_useStandard = 1;
  return 1;
}

int ProcessStartup_inherit(ProcessStartup *startup, int32_t descriptor) {
  if (startup == nullptr || descriptor < 0)
    return 0;
  for (int32_t i = 0; i < startup->m_noOfInherited; ++i)
    if (startup->m_inherited[i] == descriptor)
      return 1;
  if (startup->m_noOfInherited >= ProcessStartup_maximumInherited)
    return 0;
  startup->m_inherited[startup->m_noOfInherited++] = descriptor;
  return 1;
}

int ProcessStartup_applyInChild(const ProcessStartup *startup) {
  if (startup == nullptr)
    return 1;
  int ok = 1;
  if (startup->m_useStandard) {
    // A source that is itself a standard stream could be overwritten before it is used: move
    // such sources above 2 first.
    int32_t source[3];
    for (int i = 0; i < 3; ++i) {
      source[i] = startup->m_standard[i];
      if (source[i] >= 0 && source[i] <= 2 && source[i] != i) {
        source[i] = fcntl(source[i], F_DUPFD_CLOEXEC, 3);
        if (source[i] < 0)
          ok = 0;
      }
    }
    for (int i = 0; i < 3; ++i) {
      if (source[i] == i) {
        int flags = fcntl(i, F_GETFD);
        if (flags < 0 || fcntl(i, F_SETFD, flags & ~FD_CLOEXEC) < 0)
          ok = 0;
      } else if (source[i] >= 0) {
        if (dup2(source[i], i) < 0)
          ok = 0;
      } else if (startup->m_standard[i] < 0) {
        int null = open("/dev/null", i == 0 ? O_RDONLY : O_WRONLY);
        if (null < 0 || (null != i && dup2(null, i) < 0))
          ok = 0;
        if (null > 2)
          close(null);
      }
    }
  }
  for (int32_t i = 0; i < startup->m_noOfInherited; ++i) {
    int32_t descriptor = startup->m_inherited[i];
    int flags = fcntl(descriptor, F_GETFD);
    if (flags < 0 || fcntl(descriptor, F_SETFD, flags & ~FD_CLOEXEC) < 0)
      ok = 0;
  }
  return ok;
}
